// The tail of a character that a piece of text read by SQLGetData had no
// room for. Applications take a cut piece as a full buffer (BufferLength
// less the terminator) and join the pieces, so a piece ends with as much of
// its last character as fits, and the next piece of the value begins with
// the rest.
#ifndef QMR_DRIVER_ROWSET_TEXT_CARRY_H
#define QMR_DRIVER_ROWSET_TEXT_CARRY_H

struct TextCarry {
  unsigned char bytes[4] = {};  // in the target's encoding
  int count = 0;
};

#endif
