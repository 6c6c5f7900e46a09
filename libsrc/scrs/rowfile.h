// The row file: how a dataset cache keeps more rows than it holds in memory.
//
// Two files. The data file holds a header, the column descriptions and the
// rows; the index file holds, for every row, the data-file offset of the
// row's first cell. Values move between a COLSET and the files cell by cell,
// and one coder serves both directions (the stream's direction word), so
// what is written is by construction what is read.
//
// All numbers are little-endian; a "word" is 4 bytes. Values narrower than
// a word are widened on write (unsigned with zeros, signed with the sign)
// and narrowed back on read.
//
// Data file:
//   0   word   column count (1..65535)
//   4   word   row count
//   8   2 words per column: value type code, element width
//   ... rows in order; a row is its cells in column order.
// A cell is an indicator word (the 16-bit indicator sign-widened) and, when
// the indicator stands for a present value (anything but NULL, and the
// deferred, data-at-execution and skip marks of util/colset.h), the value:
//
//   0                   nothing
//   1, 14, 17, 24, 25   the element's bytes, exactly the column's width
//   2, 6 / 3            unsigned / signed byte as a word
//   4 / 7               signed / unsigned 16-bit value as a word
//   5, 8, 9             the 32-bit value as a word
//   10                  the 64-bit value, 8 bytes
//   11, 12              three 16-bit fields, a word each
//   13                  six 16-bit fields and the 32-bit fraction, a word each
//   15, 16              length word (bytes), the out-of-line bytes
//   26                  length word (characters), twice as many bytes
//   18, 21 / 19, 22 / 20, 23
//                       the element's 8 / 16 / 32-bit length as a word, then
//                       that many bytes from behind the length
//   27                  the element's 32-bit length (characters) as a word,
//                       then twice as many bytes from behind the length
//
// Index file: one 8-byte offset per row, row r's at 8 * r, no header. The
// offsets are 64-bit because a cache of wide rows passes 4 GB of row data
// long before its row count nears the header's 32-bit limit; a 4-byte
// offset would silently wrap and send reads to the wrong rows.
//
// Reading trusts nothing in the files: every count, width, length and
// offset is checked against the file's size, the element it lands in and
// the shape expected, so a truncated or damaged file fails the call instead
// of reading past a buffer or asking for a giant allocation.
//
// Every function answers 1 on success and 0 on failure; a failure leaves
// the cells moved before it written or read. The files are never truncated:
// a header is rewritten only after all rows of a call were written.
//
// (The whole-set, column-major image of the format family has no user here
// and is not provided.)
#ifndef QMR_SCRS_ROWFILE_H
#define QMR_SCRS_ROWFILE_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "util/colset.h"

enum : uint32_t { RF_WRITE = 0, RF_READ = 1 };

// Bytes of the data file's header, and of one column description.
constexpr uint64_t RF_HEADER_BYTES = 8;
constexpr uint64_t RF_COLDESC_BYTES = 8;
// Bytes of one index entry.
constexpr uint64_t RF_INDEX_BYTES = 8;

// A data file and the direction its transfers go. Any direction other than
// RF_WRITE and RF_READ fails every transfer. pos and end are kept by the
// transfers (the stream's offset and, on read, the file's size); set them
// with RF_StreamInit.
// A read stream may instead run over bytes already in memory (mem, with
// end their count and pos counted from mem), and a write stream put its
// bytes into memory from put on (a transfer that would pass put_end
// fails); neither then touches the file. Such a write stream with pieces
// copies no run of RF_PIECE_BYTES or more: the run is noted in *pieces
// with the place in memory it belongs before, and stays where it is
// until the caller writes it.
constexpr uint64_t RF_PIECE_BYTES = 1024;
struct RF_PIECE {
  const unsigned char* before;  // the put position the run belongs at
  const void* bytes;
  uint64_t n;
};
struct RF_STREAM {
  uint32_t direction;
  FILE* file;
  uint64_t pos;
  uint64_t end;
  const unsigned char* mem = nullptr;
  unsigned char* put = nullptr;
  unsigned char* put_end = nullptr;
  std::vector<RF_PIECE>* pieces = nullptr;
};

// Sets up a stream on the data file: pos 0 and, for reading, end = the
// file's size. 0 when the size cannot be learnt.
int RF_StreamInit(RF_STREAM* s, uint32_t direction, FILE* file);

// Moves one cell: row `row` of the column. Long columns (15, 16, 26) must
// have 16-byte {length, pointer} elements; a value read into one replaces
// the element's old buffer by a new one of length + 2 bytes, zero-terminated.
int RF_TransferCell(RF_STREAM* s, COLSET_COL* col, uint32_t row);

// Moves n rows. Read: from file row `first` (through the index) into set
// rows 0..n-1, which must have storage. Write: set rows first..first+n-1
// are appended to the data file and their offsets to the index file (which
// must hold exactly `earlier` entries), then the header is rewritten with
// the set's column count and row count n + earlier.
int RF_TransferRows(RF_STREAM* s, COLSET* set, uint32_t first, uint32_t n, FILE* index,
                    uint32_t earlier);

// Reads file rows first..first+n-1 into set rows 0..n-1, which must have
// the file's columns and storage for n rows; `total` is the file's row
// count as its writer knows it. Only those rows' bytes are read: the index
// gives where they start and end, and they come in as few reads as their
// size allows, without going through the streams' buffers. Every row must
// take exactly the bytes its index entries give it, so a damaged index or
// row fails the call.
int RF_ReadRows(FILE* data, FILE* index, COLSET* set, uint32_t first, uint32_t n, uint32_t total);

// The bytes of rows read with their long values left in them, and where
// each long cell's length word lies among them (cells[row * cols + col];
// RF_NO_CELL for a cell that is no long value).
constexpr uint64_t RF_NO_CELL = UINT64_MAX;
struct RF_RAWROWS {
  std::vector<unsigned char> bytes;
  std::vector<uint64_t> cells;
  uint16_t cols = 0;
  // Empties the rows; the storage stays for the next read.
  void clear() {
    bytes.clear();
    cells.clear();
    cols = 0;
  }
};

// RF_ReadRows with every long value left undecoded: a long cell that holds
// a value comes out COLSET_IND_DEFERRED with an empty element, and the rows'
// bytes go to *raw (replaced; emptied on failure) for RF_LongFromRaw. The
// rows are read in one piece.
int RF_ReadRowsDeferred(FILE* data, FILE* index, COLSET* set, uint32_t first, uint32_t n,
                        uint32_t total, RF_RAWROWS* raw);

// The long value of column col (of long type `type`) of row `row` of raw
// rows: *out gets its length and a new buffer, zero-terminated as
// RF_TransferCell makes it, that the caller frees. 0 when that cell holds
// no deferred value or its bytes do not add up.
int RF_LongFromRaw(const RF_RAWROWS* raw, uint32_t row, uint16_t col, uint32_t type,
                   COLSET_LONG* out);

// Writing a file from start to end as rows come: RF_BeginFile writes the
// header (no rows yet) and the set's column descriptions to empty files and
// readies the stream; RF_WriteRows appends every row of a set with the
// file's columns, each with its index entry; RF_EndFile writes the row
// count into the header and flushes both files. Between them nothing is
// sought or read back: the streams' buffers gather the writes.
int RF_BeginFile(RF_STREAM* s, FILE* data, FILE* index, const COLSET* shape);
int RF_WriteRows(RF_STREAM* s, COLSET* set, FILE* index);
int RF_EndFile(RF_STREAM* s, FILE* index, uint32_t cols, uint32_t rows);

// Moves one column description. Write: type and width. Read: type and
// width, checked against the type (long types take width 16), then storage
// for `rows` rows (ColSetColumnAlloc).
int RF_TransferColDesc(RF_STREAM* s, COLSET_COL* col, uint32_t rows);

// Write: the set's rows from `first` on become a new file (header,
// descriptions, rows, one index entry per row); the files must be empty.
// Read: the set is remade with the file's columns and rows first.. (at most
// `most` of them when most > 0). When the set holds columns on entry to a
// read, they are the expected shape: the file must have exactly those types
// and widths. Fails for an empty set or file and for first past the last row;
// a failed read leaves the set empty, never holding part of a window.
int RF_TransferWindow(uint32_t direction, FILE* data, FILE* index, COLSET* set, uint32_t first,
                      uint32_t most);

// Appends the set's rows to an existing file; the set must have the file's
// columns (types and widths are checked, not written again). A set without
// rows succeeds at once.
int RF_AppendRows(FILE* data, FILE* index, COLSET* set);

#endif
