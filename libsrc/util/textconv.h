// Text conversion between the driver's internal 8-bit text and UTF-16.
//
// Inside the driver text is UTF-8 in the form JNI expects ("modified UTF-8"):
// every UTF-16 unit is encoded on its own, so a surrogate pair becomes two
// three-byte sequences.  Decoding that text accepts this form and standard
// UTF-8 alike: a four-byte sequence becomes a surrogate pair.
//
// The "code page" of the application side (mb_*, wide_to_mb_*) is standard
// UTF-8: those routines encode a surrogate pair as one four-byte sequence and
// a lone surrogate as U+FFFD, and decode strictly (no C0 80, no encoded
// surrogate).
//
// Every decoder reads one character at a time with utf8_decode_one: an
// ill-formed sequence (a stray continuation byte, a byte that starts no
// sequence, an overlong form, an encoded value above U+10FFFF, a sequence
// broken off) becomes one U+FFFD per maximal ill-formed subpart, the Unicode
// standard's recommended practice, and never takes a well-formed character
// that follows it.  A counted conversion stops before a sequence that its
// count cuts (the rest may come with the next piece).
//
// Units are char16_t.  Counts are 64-bit; SQL_NTS (-3) means "up to the
// terminator"; any other negative count counts as 0.  In a counted text a 0
// unit (or 0 byte) is converted like any other character.  Lengths of 8-bit
// text are bytes.  Bounded conversions never cut a UTF-8 sequence and never
// separate the two halves of a surrogate pair.
//
// Buffer rule of the *_buf routines: a null source or destination gives -1;
// when the whole text and its terminator fit, convert, terminate, store the
// length and return 0; a size of 0 (or less) gives -1; otherwise convert what
// fits in size - 1, terminate, store that length and return -1.
//
// Lengths handed to callers through int16_t pointers (ODBC's SQLSMALLINT) are
// clamped to 32767, never wrapped; the *64 variants store the full value.
//
// Memory returned by the *_dup routines comes from malloc and is released with
// free().  Nothing here keeps state; every routine is safe from any thread.
#ifndef QMR_UTIL_TEXTCONV_H
#define QMR_UTIL_TEXTCONV_H

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef SQL_NTS
#define SQL_NTS (-3)
#endif

// ---- One character of UTF-8 --------------------------------------------------

// How a UTF-8 text is read.  Standard: UTF-8 as the Unicode standard defines
// it, for text from outside the driver (the application's).  Internal: the
// driver's own and JNI's text, which may also hold modified UTF-8's forms (C0
// 80 for U+0000, a surrogate as its own three-byte sequence).
enum class Utf8Form { Standard, Internal };

// The character at s (avail >= 1 bytes may be read; the first byte that
// cannot continue a sequence ends the read, so a 0 terminator is never read
// past): its code point in *cp (a surrogate's own value for the internal
// form's three-byte surrogate) and the bytes it takes.  An ill-formed
// sequence gives U+FFFD and takes its maximal subpart: the longest start of a
// well-formed sequence found there, at least one byte.  *cut (may be null)
// tells that the sequence was well-formed as far as avail let it be read.
int utf8_decode_one(const unsigned char* s, int64_t avail, Utf8Form form, uint32_t* cp, bool* cut);
// Whether `length` bytes are well-formed in the form.
bool utf8_well_formed(const char* src, int64_t length, Utf8Form form);
// The text with every maximal ill-formed subpart replaced by U+FFFD (EF BF
// BD); well-formed text comes back as it was.
std::string utf8_repaired(const char* src, int64_t length, Utf8Form form);
// Whether `count` UTF-16 units (SQL_NTS: up to the terminator) hold no lone
// surrogate: every high surrogate followed by a low one, and no low one alone.
bool utf16_well_formed(const char16_t* src, int64_t count);

// Bytes of a UTF-8 text of `length` bytes kept when it is cut to at most max:
// the cut steps back over continuation bytes so that no character is split.
size_t utf8_prefix_len(const char* text, size_t length, size_t max);
// The same stepping back over three continuation bytes at most: text that is
// not UTF-8 at the cut is cut at max.
size_t utf8_prefix_len_bounded(const char* text, size_t length, size_t max);

// ---- Counting -------------------------------------------------------------

// Bytes the UTF-16 text needs in internal UTF-8, without a terminator; a null
// text needs 0.
int64_t utf16_to_utf8_len(const char16_t* src, int64_t count);
// The same in the application's standard UTF-8 (pairs joined).
int64_t wide_to_mb_len(const char16_t* src, int64_t count);
// UTF-16 units the UTF-8 text decodes to (2 for a four-byte sequence), up to
// its end or its count; a null text gives 0.
int64_t utf8_to_utf16_len(const char* src, int64_t count);

// ---- UTF-16 to internal UTF-8 ---------------------------------------------

// Converts up to the 0 unit or until the next character would not fit in
// max_bytes; writes no terminator.  Returns the bytes written.
int64_t utf16_to_utf8_enc(const char16_t* src, char* dst, int64_t max_bytes);
// Converts count units (SQL_NTS: up to the terminator) into at most
// max_bytes; writes no terminator; stores the units consumed.
int64_t utf16_to_utf8_n(const char16_t* src, int64_t count, char* dst, int64_t max_bytes,
                        int16_t* units_used);
int64_t utf16_to_utf8_n64(const char16_t* src, int64_t count, char* dst, int64_t max_bytes,
                          int64_t* units_used);
// New text; null for a null source or when memory runs out.
char* utf16_to_utf8_dup(const char16_t* src);
// New text of exactly count units (SQL_NTS: up to the terminator).
char* utf16_to_utf8_dupn(const char16_t* src, int64_t count);
// Buffer rule; size and length in bytes.
int utf16_to_utf8_buf(const char16_t* src, char* dst, int64_t size, int16_t* len);
int utf16_to_utf8_buf64(const char16_t* src, char* dst, int64_t size, int64_t* len);

// ---- UTF-8 to UTF-16 ------------------------------------------------------

// Converts up to the terminator or max_units; writes no terminator.
// Returns the units written.
int64_t utf8_to_utf16(const char* src, char16_t* dst, int64_t max_units);
// The same over count bytes (SQL_NTS allowed); also stops before a sequence
// that would run past the count.  Stores the bytes consumed.
int64_t utf8_to_utf16_n(const char* src, int64_t count, char16_t* dst, int64_t max_units,
                        int16_t* bytes_used);
int64_t utf8_to_utf16_n64(const char* src, int64_t count, char16_t* dst, int64_t max_units,
                          int64_t* bytes_used);
char16_t* utf8_to_utf16_dup(const char* src);
// New zero-filled text from count bytes (SQL_NTS: up to the terminator).
char16_t* utf8_to_utf16_dupn(const char* src, int64_t count);
// Buffer rule; size and length in units.
int utf8_to_utf16_buf(const char* src, char16_t* dst, int64_t size, int16_t* len);
int utf8_to_utf16_buf64(const char* src, char16_t* dst, int64_t size, int64_t* len);

// The ODBC output-string form every W entry point returns text through:
// a null source gives -1 and stores nothing; otherwise the full length in
// units is stored (also when the text is cut or dst is null); a null dst
// gives 0; when size >= length + 1 the text is converted and terminated (0);
// a size of 0 gives -1; otherwise the text is cut on a character boundary
// within size - 1 units and terminated (-1: the caller reports 01004).
int utf8_to_utf16_out(const char* src, char16_t* dst, int64_t size, int16_t* len);
int utf8_to_utf16_out64(const char* src, char16_t* dst, int64_t size, int64_t* len);

// Buffer rule without a length; nothing when either pointer is null.
char16_t* utf8_to_utf16_copy(char16_t* dst, const char* src, int64_t size);
// Whole text and terminator, unbounded: dst must have room for
// utf8_to_utf16_len(src, SQL_NTS) + 1 units.
char16_t* utf8_to_utf16_cpy(char16_t* dst, const char* src);

// ---- Code-page (standard UTF-8) text ----------------------------------------

// Application text into internal UTF-8 by the buffer rule (size in bytes).
char* mb_to_utf8_buf(char* dst, const char* src, int64_t size);
// New standard UTF-8 text from count units (SQL_NTS allowed), sized by its
// real length; null for a null source or when memory runs out.
char* wide_to_mb_dup(const char16_t* src, int64_t count);
char* wide_to_mb_dupn(const char16_t* src);
// New zero-filled UTF-16 text from count bytes (SQL_NTS allowed).
char16_t* mb_to_wide_dup(const char* src, int64_t count);
// Null source: -1.  Stores the full length in bytes (units x 2) first; a null
// dst gives 0; otherwise the buffer rule with size / 2 units.
int mb_to_wide_buf(const char* src, char16_t* dst, int64_t size_bytes, int16_t* len_bytes);
int mb_to_wide_buf64(const char* src, char16_t* dst, int64_t size_bytes, int64_t* len_bytes);
// Unbounded; dst must have room for the whole text and its terminator.
char16_t* mb_to_wide_cpy(char16_t* dst, const char* src);
// Buffer rule without a length: size in units for mb_to_wide_copy, in bytes
// for wide_to_mb_copy.
char16_t* mb_to_wide_copy(char16_t* dst, const char* src, int64_t size);
char* wide_to_mb_copy(char* dst, const char16_t* src, int64_t size);

// ---- UTF-16 to UTF-16 -------------------------------------------------------

// Units before the terminator; 0 for null.
int64_t wide_len(const char16_t* s);
// Buffer rule (size and length in units).
int wide_copy_out(const char16_t* src, char16_t* dst, int64_t size, int16_t* len);
int wide_copy_out64(const char16_t* src, char16_t* dst, int64_t size, int64_t* len);
// Like utf8_to_utf16_out: null source -1; the full length is stored first; a
// null dst gives 0; then the buffer rule.
int wide_copy_out_len(const char16_t* src, char16_t* dst, int64_t size, int16_t* len);
int wide_copy_out_len64(const char16_t* src, char16_t* dst, int64_t size, int64_t* len);

// ---- Case mapping -------------------------------------------------------------

// Sorted tables of simple case mappings (generated, see scripts/gen_casetables.py).
// Entry: code point in bits 0-15, magnitude of the difference in bits 16-30,
// its sign in bit 31 (1 = negative).  The difference is taken modulo 0x10000
// where the true one would not fit, since it is only added to 16-bit units.
extern const uint32_t case_upper_table[];
extern const size_t case_upper_table_count;
extern const uint32_t case_lower_table[];
extern const size_t case_lower_table_count;

// Signed difference stored for the code point, 0 when it has no entry.
int32_t case_delta_lookup(const uint32_t* table, size_t count, uint32_t cp);
char16_t wchar_toupper(char16_t unit);
char16_t wchar_tolower(char16_t unit);

// Maps the NUL-terminated text in a buffer of size bytes in place, character
// by character (independent of the process locale), keeps the result within
// size - 1 bytes without cutting a character, and terminates it.  Characters
// outside the BMP and bytes that are not valid UTF-8 are kept as they are.
// Returns text.
char* utf8_toupper_buf(char* text, int64_t size);
char* utf8_tolower_buf(char* text, int64_t size);
// Older names of the two, still used by the cursor library and the rowset code.
inline char* utf8_to_mb_dup(char* text, int64_t size) { return utf8_toupper_buf(text, size); }
inline char* utf8_to_mb_buf(char* text, int64_t size) { return utf8_tolower_buf(text, size); }

#endif
