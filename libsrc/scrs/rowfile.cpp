#include "scrs/rowfile.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// The coder's small steps run for every cell: inlined, a step's size is a
// constant the copies are made for. The coder is one text for both
// directions, compiled once for each, so a direction test costs nothing.
#define RF_STEP inline __attribute__((always_inline))

bool IsLong(uint32_t type) {
  return type == COLSET_VT_LONGCHAR || type == COLSET_VT_LONGBINARY || type == COLSET_VT_LONGWCHAR;
}

// Only the fixed numeric and date forms have one exact element size; the
// text and byte forms may be declared wider than their minimum.
bool IsExactSize(uint32_t type) { return type >= COLSET_VT_BIT && type <= COLSET_VT_TIMESTAMP; }

// The marks that stand for a value held elsewhere (or none): their cells
// carry no value bytes.
RF_STEP bool HasValue(uint16_t ind) { return ind < COLSET_IND_SKIP; }

// n bytes (at most 8) of a little-endian number. On a little-endian host
// that is a copy, whose constant size the compiler turns into one move.
RF_STEP void PutLE(unsigned char* b, uint64_t v, int n) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(b, &v, static_cast<size_t>(n));
#else
  for (int i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
#endif
}

RF_STEP uint64_t GetLE(const unsigned char* b, int n) {
  uint64_t v = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(&v, b, static_cast<size_t>(n));
#else
  for (int i = 0; i < n; ++i) v |= uint64_t{b[i]} << (8 * i);
#endif
  return v;
}

// Rows read by index come in reads of about this many bytes (a single row
// may need more): a large window is not held twice over in memory.
constexpr uint64_t kReadBytes = uint64_t{1} << 20;

bool Seek(RF_STREAM* s, uint64_t off) {
  if (s->direction == RF_READ && off > s->end) return false;
  if (s->mem != nullptr) {
    s->pos = off;
    return true;
  }
  if (fseeko(s->file, static_cast<off_t>(off), SEEK_SET) != 0) return false;
  s->pos = off;
  return true;
}

bool SeekEnd(FILE* f, uint64_t* end) {
  if (fseeko(f, 0, SEEK_END) != 0) return false;
  const off_t at = ftello(f);
  if (at < 0) return false;
  *end = static_cast<uint64_t>(at);
  return true;
}

// Moves n bytes between p and the file; a read never asks for more than the
// file has left.
template <uint32_t D>
RF_STEP bool Bytes(RF_STREAM* s, void* p, uint64_t n) {
  if (n == 0) return true;
  if (D == RF_WRITE) {
    if (s->put != nullptr && s->pieces != nullptr && n >= RF_PIECE_BYTES) {
      s->pieces->push_back(RF_PIECE{s->put, p, n});
    } else if (s->put != nullptr) {
      if (n > static_cast<uint64_t>(s->put_end - s->put)) return false;
      std::memcpy(s->put, p, n);
      s->put += n;
    } else if (fwrite_unlocked(p, 1, n, s->file) != n) {  // one cache, one call at a time
      return false;
    }
  } else if (s->mem != nullptr) {
    if (n > s->end - s->pos) return false;
    std::memcpy(p, s->mem + s->pos, n);
  } else {
    if (n > s->end - s->pos || fread_unlocked(p, 1, n, s->file) != n) return false;
  }
  s->pos += n;
  // A read never passes the end it was given.
  assert(D == RF_WRITE || s->pos <= s->end);
  return true;
}

template <uint32_t D>
RF_STEP bool Word(RF_STREAM* s, uint32_t* v) {
  unsigned char b[4];
  if (D == RF_WRITE) PutLE(b, *v, 4);
  if (!Bytes<D>(s, b, 4)) return false;
  if (D == RF_READ) *v = static_cast<uint32_t>(GetLE(b, 4));
  return true;
}

// A field of `size` bytes (1, 2 or 4) at p, as a word. A word read back
// must be what widening could have made of such a field.
template <uint32_t D>
RF_STEP bool Field(RF_STREAM* s, unsigned char* p, int size, bool is_signed) {
  uint32_t w = 0;
  if (D == RF_WRITE) {
    const uint64_t raw = GetLE(p, size);
    w = static_cast<uint32_t>(raw);
    if (is_signed && size < 4 && (raw >> (8 * size - 1)) != 0) w |= ~0u << (8 * size);
  }
  if (!Word<D>(s, &w)) return false;
  if (D == RF_READ) {
    if (size < 4) {
      const uint32_t high = w >> (8 * size);
      const bool negative = is_signed && ((w >> (8 * size - 1)) & 1) != 0;
      if (high != (negative ? (~0u >> (8 * size)) : 0u)) return false;
    }
    PutLE(p, w, size);
  }
  return true;
}

template <uint32_t D>
RF_STEP bool Eight(RF_STREAM* s, unsigned char* p) {
  unsigned char b[8];
  if (D == RF_WRITE) PutLE(b, GetLE(p, 8), 8);
  if (!Bytes<D>(s, b, 8)) return false;
  if (D == RF_READ) PutLE(p, GetLE(b, 8), 8);
  return true;
}

// A value behind a prefix of `prefix` bytes holding its length in units of
// `unit` bytes; the value must fit in the element's width.
template <uint32_t D>
RF_STEP bool Prefixed(RF_STREAM* s, unsigned char* e, uint32_t width, int prefix, int unit) {
  uint32_t len = D == RF_WRITE ? static_cast<uint32_t>(GetLE(e, prefix)) : 0;
  if (!Word<D>(s, &len)) return false;
  if (prefix < 4 && (len >> (8 * prefix)) != 0) return false;
  const uint64_t bytes = uint64_t{len} * unit;
  if (bytes > width - static_cast<uint32_t>(prefix)) return false;
  if (D == RF_READ) PutLE(e, len, prefix);
  return Bytes<D>(s, e + prefix, bytes);
}

// An out-of-line value: a length word, then the bytes. A value read gets a
// new buffer with two zero bytes behind it, so text readers find an end.
template <uint32_t D>
bool Long(RF_STREAM* s, unsigned char* e, uint32_t type) {
  const uint64_t unit = type == COLSET_VT_LONGWCHAR ? 2 : 1;
  COLSET_LONG l;
  std::memcpy(&l, e, sizeof l);
  if (D == RF_WRITE) {
    if (l.length != 0 && l.value == nullptr) return false;
    return Word<D>(s, &l.length) && Bytes<D>(s, l.value, l.length * unit);
  }
  uint32_t len = 0;
  if (!Word<D>(s, &len)) return false;
  const uint64_t bytes = len * unit;
  if (bytes > s->end - s->pos) return false;
  auto* p = static_cast<unsigned char*>(std::malloc(bytes + 2));
  if (p == nullptr) return false;
  p[bytes] = p[bytes + 1] = 0;
  if (!Bytes<D>(s, p, bytes)) {
    std::free(p);
    return false;
  }
  std::free(l.value);
  l = COLSET_LONG{len, p};
  std::memcpy(e, &l, sizeof l);
  return true;
}

template <uint32_t D>
bool Value(RF_STREAM* s, const COLSET_COL* col, unsigned char* e) {
  const uint32_t w = col->elem_size;
  switch (col->type) {
    case COLSET_VT_NONE: return true;
    case COLSET_VT_CHAR:
    case COLSET_VT_BINARY:
    case COLSET_VT_NTS:
    case COLSET_VT_WCHAR:
    case COLSET_VT_WNTS: return Bytes<D>(s, e, w);
    case COLSET_VT_BIT:
    case COLSET_VT_UTINYINT: return Field<D>(s, e, 1, false);
    case COLSET_VT_TINYINT: return Field<D>(s, e, 1, true);
    case COLSET_VT_SMALLINT: return Field<D>(s, e, 2, true);
    case COLSET_VT_USMALLINT: return Field<D>(s, e, 2, false);
    case COLSET_VT_INTEGER:
    case COLSET_VT_UINTEGER:
    case COLSET_VT_REAL: return Field<D>(s, e, 4, false);
    case COLSET_VT_DOUBLE: return Eight<D>(s, e);
    case COLSET_VT_DATE:
      return Field<D>(s, e, 2, true) && Field<D>(s, e + 2, 2, false) &&
             Field<D>(s, e + 4, 2, false);
    case COLSET_VT_TIME:
      return Field<D>(s, e, 2, false) && Field<D>(s, e + 2, 2, false) &&
             Field<D>(s, e + 4, 2, false) && Field<D>(s, e + 6, 2, false) &&
             Field<D>(s, e + 8, 4, false) && Field<D>(s, e + 12, 4, false);
    case COLSET_VT_TIMESTAMP:
      if (!Field<D>(s, e, 2, true)) return false;
      for (int f = 1; f < 6; ++f) {
        if (!Field<D>(s, e + 2 * f, 2, false)) return false;
      }
      return Field<D>(s, e + 12, 4, false) && Field<D>(s, e + 16, 4, false);
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_LONGBINARY:
    case COLSET_VT_LONGWCHAR: return Long<D>(s, e, col->type);
    case COLSET_VT_CHAR8:
    case COLSET_VT_BINARY8: return Prefixed<D>(s, e, w, 1, 1);
    case COLSET_VT_CHAR16:
    case COLSET_VT_BINARY16: return Prefixed<D>(s, e, w, 2, 1);
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY32: return Prefixed<D>(s, e, w, 4, 1);
    case COLSET_VT_WCHAR32: return Prefixed<D>(s, e, w, 4, 2);
    default: return false;
  }
}

// Passes over a long value being read, its length word checked against
// what the stream has left.
template <uint32_t D>
bool SkipLong(RF_STREAM* s, uint32_t type) {
  uint32_t len = 0;
  if (!Word<D>(s, &len)) return false;
  const uint64_t bytes = uint64_t{len} * (type == COLSET_VT_LONGWCHAR ? 2 : 1);
  return bytes <= s->end - s->pos && Seek(s, s->pos + bytes);
}

// One cell of a column whose shape and storage the caller checked. With
// *at given, a long value being read is left where it is: the cell is
// marked deferred and *at gets the offset of its length word.
template <uint32_t D>
bool Cell(RF_STREAM* s, COLSET_COL* col, uint32_t row, uint64_t* at = nullptr) {
  uint16_t& ind = col->ind[row];
  uint32_t w = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(ind)));
  if (!Word<D>(s, &w)) return false;
  if (D == RF_READ) {
    if (w != static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(w)))) return false;
    ind = static_cast<uint16_t>(w);
  }
  if (!HasValue(ind)) return true;
  if (at != nullptr && D == RF_READ && IsLong(col->type)) {
    *at = s->pos;
    ind = COLSET_IND_DEFERRED;
    return SkipLong<D>(s, col->type);
  }
  return Value<D>(s, col, col->data + static_cast<size_t>(row) * col->elem_size);
}

// The coder for a direction known only when running.
bool AnyWord(RF_STREAM* s, uint32_t* v) {
  return s->direction == RF_WRITE ? Word<RF_WRITE>(s, v) : Word<RF_READ>(s, v);
}

bool AnyCell(RF_STREAM* s, COLSET_COL* col, uint32_t row) {
  return s->direction == RF_WRITE ? Cell<RF_WRITE>(s, col, row) : Cell<RF_READ>(s, col, row);
}

// A column shape the coder can move: a known type in an element of the
// type's size (exactly, for the numeric and date forms and the long ones).
bool ShapeOk(uint32_t type, uint32_t width) {
  if (type > COLSET_VT_LAST || width == COLSET_SIZE_TOO_LARGE) return false;
  const uint32_t least = ColSetTypeSize(type, 0);
  if (IsLong(type) || IsExactSize(type)) return width == least;
  return width >= least;
}

bool StreamOk(const RF_STREAM* s) {
  if (s == nullptr) return false;
  if (s->mem != nullptr) return s->direction == RF_READ;
  return s->file != nullptr && (s->direction == RF_WRITE || s->direction == RF_READ);
}

bool ColumnsOk(const COLSET* set) {
  if (set == nullptr || set->cols == nullptr || set->cols_used == 0 ||
      set->cols_used > set->col_capacity) {
    return false;
  }
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    const COLSET_COL& col = set->cols[c];
    if (!ShapeOk(col.type, col.elem_size)) return false;
  }
  return true;
}

bool StorageFor(const COLSET* set, uint64_t rows) {
  if (rows > set->row_capacity) return false;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    if (rows > 0 && (set->cols[c].data == nullptr || set->cols[c].ind == nullptr)) return false;
  }
  return true;
}

// Reads (or writes) one description; on read the shape is checked against
// the type and, when given, against the expected column, before any
// storage is asked for.
bool Desc(RF_STREAM* s, COLSET_COL* col, uint32_t rows, const COLSET_COL* expect) {
  uint32_t type = col->type;
  uint32_t width = col->elem_size;
  if (!AnyWord(s, &type) || !AnyWord(s, &width)) return false;
  if (s->direction == RF_WRITE) return true;
  if (!ShapeOk(type, width)) return false;
  if (expect != nullptr && (expect->type != type || expect->elem_size != width)) return false;
  col->type = type;
  col->elem_size = width;
  return ColSetColumnAlloc(col, rows) == 0;
}

bool Header(RF_STREAM* s, uint32_t* cols, uint32_t* rows) {
  if (!Seek(s, 0) || !AnyWord(s, cols) || !AnyWord(s, rows)) return false;
  if (s->direction == RF_WRITE) return true;
  if (*cols == 0 || *cols > UINT16_MAX) return false;
  // Every row holds at least an indicator word per column, so the file's
  // size bounds the row count it can claim.
  const uint64_t first_row = RF_HEADER_BYTES + RF_COLDESC_BYTES * *cols;
  if (first_row > s->end) return false;
  return *rows <= (s->end - first_row) / (4 * uint64_t{*cols});
}

// Row `first`'s offset from the index, checked to lie among the rows.
bool RowOffset(RF_STREAM* s, FILE* index, uint64_t first, uint32_t cols, uint64_t* off) {
  unsigned char b[RF_INDEX_BYTES];
  if (fseeko(index, static_cast<off_t>(first * RF_INDEX_BYTES), SEEK_SET) != 0 ||
      fread(b, 1, sizeof b, index) != sizeof b) {
    return false;
  }
  *off = GetLE(b, RF_INDEX_BYTES);
  return *off >= RF_HEADER_BYTES + RF_COLDESC_BYTES * cols && *off < s->end;
}

bool ReadRows(RF_STREAM* s, COLSET* set, uint32_t first, uint32_t n, FILE* index) {
  if (n == 0) return true;
  uint64_t off = 0;
  if (!RowOffset(s, index, first, set->cols_used, &off) || !Seek(s, off)) return false;
  for (uint32_t r = 0; r < n; ++r) {
    for (uint16_t c = 0; c < set->cols_used; ++c) {
      if (!RF_TransferCell(s, &set->cols[c], r)) return false;
    }
  }
  return true;
}

// At least the bytes rows first..first+n-1 take coded: a cell is an
// indicator word and a value of at most twice its element and a word (a
// long value: its bytes and a word), so the coding never grows the buffer.
uint64_t CodedBound(const COLSET* set, uint32_t first, uint32_t n) {
  uint64_t bytes = 0;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    const COLSET_COL& col = set->cols[c];
    if (!IsLong(col.type)) {
      bytes += uint64_t{n} * (8 + 2 * uint64_t{col.elem_size});
      continue;
    }
    const uint64_t unit = col.type == COLSET_VT_LONGWCHAR ? 2 : 1;
    for (uint32_t r = first; r < first + n; ++r) {
      COLSET_LONG l;
      std::memcpy(&l, col.data + size_t{r} * sizeof l, sizeof l);
      bytes += 8 + (HasValue(col.ind[r]) ? l.length * unit : 0);
    }
  }
  return bytes;
}

[[maybe_unused]] uint64_t IovBytes(const std::vector<iovec>& iov) {
  uint64_t n = 0;
  for (const iovec& v : iov) n += v.iov_len;
  return n;
}

// Writes all of iov to the file's descriptor at its offset, as many
// pieces a call as the system takes.
bool WriteAll(int fd, std::vector<iovec>* iov) {
  size_t at = 0;
  while (at < iov->size()) {
    const int count = static_cast<int>(std::min<size_t>(iov->size() - at, IOV_MAX));
    const ssize_t put = writev(fd, iov->data() + at, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    // A short write leaves the rest of its pieces for the next call.
    auto left = static_cast<size_t>(put);
    while (at < iov->size() && left >= (*iov)[at].iov_len) left -= (*iov)[at++].iov_len;
    if (left > 0) {
      (*iov)[at].iov_base = static_cast<char*>((*iov)[at].iov_base) + left;
      (*iov)[at].iov_len -= left;
    }
  }
  return true;
}

// Rows first..first+n-1 at the stream's place, each with its index entry.
// They are coded in memory, except that a long run of bytes (a long value)
// is written from where it lies, and go to the file in one gathered write.
bool PutRows(RF_STREAM* s, COLSET* set, uint32_t first, uint32_t n, FILE* index) {
  std::unique_ptr<unsigned char[]> rows;
  std::vector<unsigned char> entries;
  std::vector<RF_PIECE> pieces;
  std::vector<iovec> iov;
  const uint64_t bound = CodedBound(set, first, n);
  RF_STREAM m = *s;
  try {
    rows.reset(new unsigned char[bound]);  // no need to clear what the coding writes over
    entries.resize(size_t{n} * RF_INDEX_BYTES);
    m.put = rows.get();
    m.put_end = rows.get() + bound;
    m.pieces = &pieces;
    for (uint32_t r = 0; r < n; ++r) {
      PutLE(&entries[size_t{r} * RF_INDEX_BYTES], m.pos, RF_INDEX_BYTES);
      for (uint16_t c = 0; c < set->cols_used; ++c) {
        if (!Cell<RF_WRITE>(&m, &set->cols[c], first + r)) return false;
      }
    }
    iov.reserve(2 * pieces.size() + 1);
    unsigned char* from = rows.get();
    for (const RF_PIECE& p : pieces) {
      if (p.before > from) iov.push_back(iovec{from, static_cast<size_t>(p.before - from)});
      iov.push_back(iovec{const_cast<void*>(p.bytes), static_cast<size_t>(p.n)});
      from = const_cast<unsigned char*>(p.before);
    }
    if (m.put > from) iov.push_back(iovec{from, static_cast<size_t>(m.put - from)});
    // The index entries count the bytes the stream moved on by: they must
    // be the bytes that go to the file, or every later row is read from
    // the wrong place.
    assert(m.pos - s->pos == IovBytes(iov));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The stream's buffer holds what came before these rows (the header at
  // least): it goes first, then the rows straight to the descriptor, where
  // the stream's next write or seek carries on.
  if (fflush(s->file) != 0 || !WriteAll(fileno(s->file), &iov) ||
      fwrite_unlocked(entries.data(), 1, entries.size(), index) != entries.size()) {
    return false;
  }
  s->pos = m.pos;
  return true;
}

bool WriteRows(RF_STREAM* s, COLSET* set, uint32_t first, uint32_t n, FILE* index,
               uint32_t earlier) {
  if (uint64_t{first} + n > set->rows_held || uint64_t{earlier} + n > UINT32_MAX) return false;
  uint64_t index_end = 0;
  if (!SeekEnd(index, &index_end) || index_end != uint64_t{earlier} * RF_INDEX_BYTES) return false;
  uint64_t end = 0;
  if (!SeekEnd(s->file, &end)) return false;
  s->pos = end;
  if (!PutRows(s, set, first, n, index)) return false;
  uint32_t cols = set->cols_used;
  uint32_t total = earlier + n;
  if (!Header(s, &cols, &total)) return false;
  // Buffered writes fail late (a full disk): surface that here, not at close.
  return fflush(s->file) == 0 && fflush(index) == 0;
}

bool PRead(FILE* f, void* p, uint64_t n, uint64_t off) {
  auto* b = static_cast<unsigned char*>(p);
  while (n > 0) {
    const ssize_t got = pread(fileno(f), b, n, static_cast<off_t>(off));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    b += got;
    n -= static_cast<uint64_t>(got);
    off += static_cast<uint64_t>(got);
  }
  return true;
}

// Where rows first..first+n-1 start, and where the last one ends: n + 1
// offsets, each row at least its indicator words long, all among the rows.
bool RowBounds(FILE* data, FILE* index, uint32_t cols, uint32_t first, uint32_t n, uint32_t total,
               std::vector<uint64_t>* at) {
  struct stat st {};
  if (fstat(fileno(data), &st) != 0) return false;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const bool to_end = uint64_t{first} + n == total;
  std::vector<unsigned char> raw((n + (to_end ? 0 : 1)) * RF_INDEX_BYTES);
  if (!PRead(index, raw.data(), raw.size(), uint64_t{first} * RF_INDEX_BYTES)) return false;
  at->resize(uint64_t{n} + 1);
  for (uint64_t i = 0; i * RF_INDEX_BYTES < raw.size(); ++i)
    (*at)[i] = GetLE(&raw[i * RF_INDEX_BYTES], RF_INDEX_BYTES);
  if (to_end) (*at)[n] = size;
  if ((*at)[0] < RF_HEADER_BYTES + RF_COLDESC_BYTES * cols || (*at)[n] > size) return false;
  for (uint32_t r = 0; r < n; ++r) {
    if ((*at)[r + 1] < (*at)[r] || (*at)[r + 1] - (*at)[r] < 4 * uint64_t{cols}) return false;
  }
  return true;
}

// Rows first..first+n-1 with their long values left in the files: read in
// one piece and kept in *raw, each long cell's place noted.
bool ReadDeferred(FILE* data, const std::vector<uint64_t>& at, COLSET* set, uint32_t n,
                  RF_RAWROWS* raw) {
  const uint64_t bytes = at[n] - at[0];
  const uint16_t cols = set->cols_used;
  try {
    raw->bytes.resize(bytes);
    raw->cells.assign(uint64_t{n} * cols, RF_NO_CELL);
  } catch (const std::bad_alloc&) {
    return false;
  }
  raw->cols = cols;
  if (!PRead(data, raw->bytes.data(), bytes, at[0])) return false;
  RF_STREAM s{RF_READ, nullptr, 0, bytes, raw->bytes.data()};
  for (uint32_t r = 0; r < n; ++r) {
    for (uint16_t c = 0; c < cols; ++c) {
      if (!Cell<RF_READ>(&s, &set->cols[c], r, &raw->cells[uint64_t{r} * cols + c])) return false;
    }
    if (s.pos != at[r + 1] - at[0]) return false;
  }
  return true;
}

bool ReadByIndex(FILE* data, FILE* index, COLSET* set, uint32_t first, uint32_t n, uint32_t total,
                 RF_RAWROWS* raw = nullptr) {
  if (n == 0) return true;
  if (uint64_t{first} + n > total) return false;
  // What the streams still buffer must reach the files before they are
  // read around the buffers.
  if (fflush(data) != 0 || fflush(index) != 0) return false;
  std::vector<uint64_t> at;
  if (!RowBounds(data, index, set->cols_used, first, n, total, &at)) return false;
  if (raw != nullptr) return ReadDeferred(data, at, set, n, raw);
  std::vector<unsigned char> buf;
  for (uint32_t r = 0; r < n;) {
    uint32_t e = r + 1;
    while (e < n && at[e + 1] - at[r] <= kReadBytes) ++e;
    const uint64_t bytes = at[e] - at[r];
    try {
      buf.resize(bytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (!PRead(data, buf.data(), bytes, at[r])) return false;
    RF_STREAM s{RF_READ, nullptr, 0, bytes, buf.data()};
    for (const uint64_t base = at[r]; r < e; ++r) {
      for (uint16_t c = 0; c < set->cols_used; ++c) {
        if (!Cell<RF_READ>(&s, &set->cols[c], r)) return false;
      }
      if (s.pos != at[r + 1] - base) return false;
    }
  }
  return true;
}

bool ReadWindow(RF_STREAM* s, FILE* index, COLSET* set, uint32_t first, uint32_t most) {
  std::vector<COLSET_COL> expect;
  if (set->cols != nullptr && set->cols_used > 0 && set->cols_used <= set->col_capacity) {
    expect.assign(set->cols, set->cols + set->cols_used);
  }
  uint32_t cols = 0;
  uint32_t rows = 0;
  if (!Header(s, &cols, &rows) || rows == 0 || first >= rows) return false;
  if (!expect.empty() && expect.size() != cols) return false;
  const uint32_t n = most > 0 && rows - first > most ? most : rows - first;
  if (ColSetInit(set, static_cast<uint16_t>(cols)) != 0) return false;
  set->cols_used = static_cast<uint16_t>(cols);
  set->row_capacity = n;
  for (uint16_t c = 0; c < cols; ++c) {
    if (!Desc(s, &set->cols[c], n, expect.empty() ? nullptr : &expect[c])) return false;
  }
  if (!ReadByIndex(s->file, index, set, first, n, rows)) return false;
  set->rows_held = n;
  return true;
}

bool WriteWindow(RF_STREAM* s, FILE* index, COLSET* set, uint32_t first) {
  if (!ColumnsOk(set) || !StorageFor(set, set->rows_held) || first >= set->rows_held) return false;
  uint64_t end = 0;
  if (!SeekEnd(s->file, &end) || end != 0) return false;
  uint32_t cols = set->cols_used;
  uint32_t rows = set->rows_held - first;
  if (!Header(s, &cols, &rows)) return false;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    if (!Desc(s, &set->cols[c], 0, nullptr)) return false;
  }
  return WriteRows(s, set, first, rows, index, 0);
}

}  // namespace

int RF_StreamInit(RF_STREAM* s, uint32_t direction, FILE* file) {
  if (s == nullptr) return 0;
  *s = RF_STREAM{direction, file, 0, 0};
  if (!StreamOk(s)) return 0;
  if (direction == RF_READ && !SeekEnd(file, &s->end)) return 0;
  return Seek(s, 0) ? 1 : 0;
}

int RF_TransferCell(RF_STREAM* s, COLSET_COL* col, uint32_t row) {
  if (!StreamOk(s) || col == nullptr || col->ind == nullptr || col->data == nullptr ||
      !ShapeOk(col->type, col->elem_size)) {
    return 0;
  }
  return AnyCell(s, col, row) ? 1 : 0;
}

int RF_TransferRows(RF_STREAM* s, COLSET* set, uint32_t first, uint32_t n, FILE* index,
                    uint32_t earlier) {
  if (!StreamOk(s) || index == nullptr || !ColumnsOk(set)) return 0;
  if (s->direction == RF_READ) {
    return StorageFor(set, n) && ReadRows(s, set, first, n, index) ? 1 : 0;
  }
  return StorageFor(set, set->rows_held) && WriteRows(s, set, first, n, index, earlier) ? 1 : 0;
}

int RF_ReadRows(FILE* data, FILE* index, COLSET* set, uint32_t first, uint32_t n, uint32_t total) {
  if (data == nullptr || index == nullptr || !ColumnsOk(set) || !StorageFor(set, n)) return 0;
  return ReadByIndex(data, index, set, first, n, total) ? 1 : 0;
}

int RF_ReadRowsDeferred(FILE* data, FILE* index, COLSET* set, uint32_t first, uint32_t n,
                        uint32_t total, RF_RAWROWS* raw) {
  if (raw == nullptr) return 0;
  raw->clear();
  if (data == nullptr || index == nullptr || !ColumnsOk(set) || !StorageFor(set, n)) return 0;
  if (ReadByIndex(data, index, set, first, n, total, raw)) return 1;
  raw->clear();
  return 0;
}

int RF_LongFromRaw(const RF_RAWROWS* raw, uint32_t row, uint16_t col, uint32_t type,
                   COLSET_LONG* out) {
  if (raw == nullptr || out == nullptr || !IsLong(type) || col >= raw->cols) return 0;
  const uint64_t k = uint64_t{row} * raw->cols + col;
  if (k >= raw->cells.size() || raw->cells[k] == RF_NO_CELL) return 0;
  RF_STREAM s{RF_READ, nullptr, raw->cells[k], raw->bytes.size(), raw->bytes.data()};
  unsigned char e[sizeof(COLSET_LONG)] = {};
  if (s.pos > s.end || !Long<RF_READ>(&s, e, type)) return 0;
  std::memcpy(out, e, sizeof *out);
  return 1;
}

int RF_BeginFile(RF_STREAM* s, FILE* data, FILE* index, const COLSET* shape) {
  if (index == nullptr || !ColumnsOk(shape) || !RF_StreamInit(s, RF_WRITE, data)) return 0;
  uint64_t end = 0;
  if (!SeekEnd(data, &end) || end != 0 || !SeekEnd(index, &end) || end != 0) return 0;
  if (!Seek(s, 0)) return 0;
  uint32_t cols = shape->cols_used;
  uint32_t rows = 0;
  if (!Header(s, &cols, &rows)) return 0;
  for (uint16_t c = 0; c < shape->cols_used; ++c) {
    COLSET_COL col = shape->cols[c];
    if (!Desc(s, &col, 0, nullptr)) return 0;
  }
  return 1;
}

int RF_WriteRows(RF_STREAM* s, COLSET* set, FILE* index) {
  if (!StreamOk(s) || s->direction != RF_WRITE || index == nullptr || !ColumnsOk(set) ||
      !StorageFor(set, set->rows_held)) {
    return 0;
  }
  return PutRows(s, set, 0, set->rows_held, index) ? 1 : 0;
}

int RF_EndFile(RF_STREAM* s, FILE* index, uint32_t cols, uint32_t rows) {
  if (!StreamOk(s) || s->direction != RF_WRITE || index == nullptr) return 0;
  if (!Header(s, &cols, &rows)) return 0;
  // Buffered writes fail late (a full disk): surface that here, not at close.
  return fflush(s->file) == 0 && fflush(index) == 0 ? 1 : 0;
}

int RF_TransferColDesc(RF_STREAM* s, COLSET_COL* col, uint32_t rows) {
  if (!StreamOk(s) || col == nullptr) return 0;
  return Desc(s, col, rows, nullptr) ? 1 : 0;
}

int RF_TransferWindow(uint32_t direction, FILE* data, FILE* index, COLSET* set, uint32_t first,
                      uint32_t most) {
  RF_STREAM s;
  if (set == nullptr || index == nullptr || !RF_StreamInit(&s, direction, data)) return 0;
  if (direction == RF_WRITE) return WriteWindow(&s, index, set, first) ? 1 : 0;
  if (ReadWindow(&s, index, set, first, most)) return 1;
  // Half a window is no window: the reader must not serve it.
  ColSetFreeColumns(set);
  return 0;
}

int RF_AppendRows(FILE* data, FILE* index, COLSET* set) {
  if (set == nullptr || index == nullptr) return 0;
  if (set->rows_held == 0) return 1;
  if (!ColumnsOk(set) || !StorageFor(set, set->rows_held)) return 0;
  RF_STREAM s;
  if (!RF_StreamInit(&s, RF_READ, data)) return 0;
  uint32_t cols = 0;
  uint32_t rows = 0;
  if (!Header(&s, &cols, &rows) || cols != set->cols_used) return 0;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    uint32_t type = 0;
    uint32_t width = 0;
    if (!AnyWord(&s, &type) || !AnyWord(&s, &width)) return 0;
    if (type != set->cols[c].type || width != set->cols[c].elem_size) return 0;
  }
  if (!RF_StreamInit(&s, RF_WRITE, data)) return 0;
  return WriteRows(&s, set, 0, set->rows_held, index, rows) ? 1 : 0;
}
