// The conversions of the UTF-16 entry points: text arguments to internal
// UTF-8 on the way in, text results back to UTF-16 on the way out.
#ifndef QMR_DRIVER_WIDE_H
#define QMR_DRIVER_WIDE_H

#include <cstdint>
#include <string>

#include "driver/api.h"
#include "driver/dispatch.h"
#include "util/errcodes.h"

// Largest byte counts the 8-bit operations can be told.
constexpr int64_t kMaxSmallBytes = 32767;       // SQLSMALLINT lengths
constexpr int64_t kMaxLargeBytes = 0x7FFFFFFE;  // SQLINTEGER lengths

inline SQLSMALLINT DRV_ClampSmall(int64_t v) {
  return static_cast<SQLSMALLINT>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}
inline SQLINTEGER DRV_ClampInt(int64_t v) {
  return static_cast<SQLINTEGER>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
}

// How an argument's text that is not well-formed is taken: repaired, for
// names and patterns the driver only looks up; refused with 22021, for text
// the database would store or run (a statement), which must not reach it
// changed.
enum class TextCheck { Repair, Refuse };

// One UTF-16 text argument, converted to a NUL-terminated UTF-8 copy.
class WideIn {
 public:
  WideIn(const SQLWCHAR* text, int64_t length, TextCheck check = TextCheck::Repair);
  ~WideIn();
  WideIn(const WideIn&) = delete;
  WideIn& operator=(const WideIn&) = delete;

  // 0, or the internal code that refuses the call: ERR_INVALID_LENGTH for a
  // negative length other than SQL_NTS (checked before any conversion),
  // ERR_NOT_IN_REPERTOIRE for a lone surrogate under TextCheck::Refuse,
  // ERR_NO_MEMORY for no memory.
  int32_t refusal() const { return refusal_; }
  SQLCHAR* text() const { return reinterpret_cast<SQLCHAR*>(utf8_); }
  // SQL_NTS for a converted text; a null text keeps the length it came with.
  int length() const { return length_; }

 private:
  char* utf8_ = nullptr;
  int length_ = SQL_NTS;
  int32_t refusal_ = 0;
};

// One 8-bit text argument from the application, UTF-8 read strictly: text
// that is well-formed passes as it is; other text is refused
// (TextCheck::Refuse) or passed as a copy with every ill-formed sequence
// replaced by U+FFFD, so that neither the driver's own decoders nor the Java
// VM's read it their own way. A null text or a length the operation must
// refuse passes unchanged.
class NarrowIn {
 public:
  NarrowIn(const SQLCHAR* text, int64_t length, TextCheck check = TextCheck::Repair);
  SQLCHAR* text() const { return text_; }
  // As it came, or SQL_NTS for a repaired copy without a 0 byte in it.
  int length() const { return length_; }
  // 0, or ERR_NOT_IN_REPERTOIRE for ill-formed text under TextCheck::Refuse.
  int32_t refusal() const { return refusal_; }

 private:
  std::string repaired_;
  SQLCHAR* text_;
  int length_;
  int32_t refusal_ = 0;
};

// The first refusal among several arguments, or 0.
int32_t DRV_FirstRefusal(std::initializer_list<const WideIn*> args);

// One UTF-16 text result. The operation writes UTF-8 into an internal buffer
// (`buffer()`, `size()`, its length into `smallLength()`/`largeLength()`);
// the result is converted while the call still holds the handle. The length
// handed back is the UTF-16 length of the whole text, also when the text was
// cut or the caller gave no buffer.
class WideOut {
 public:
  enum class Kind { Small, Large };
  enum class Flavour {
    Repeatable,  // the operation may run again with a bigger buffer
    Once,        // it may not (it connects, or consumes what it reports)
  };

  // capacity: the caller's buffer in characters (negative: refused with 25).
  WideOut(SQLWCHAR* dst, int64_t capacity, bool wantLength, Kind kind, Flavour flavour,
          bool diagnostics = true);
  ~WideOut();
  WideOut(const WideOut&) = delete;
  WideOut& operator=(const WideOut&) = delete;

  bool badCapacity() const { return capacity_ < 0; }

  // Runs call(post) until the operation's text fitted (Repeatable) and
  // converts it. call must dispatch with CallODBCPost(desc, post, ...),
  // passing buffer(), size() and the length pointer of its kind.
  template <class Call>
  DRV_Return run(const CallDesc* desc, void* handle, Call call);

  SQLCHAR* buffer() const { return reinterpret_cast<SQLCHAR*>(buf_); }
  int64_t size() const { return size_; }
  SQLSMALLINT* smallLength() { return &small_; }
  SQLINTEGER* largeLength() { return &large_; }

  // After run: the UTF-16 length of the text, -1 when none was converted.
  int64_t units() const { return units_; }
  // Also convert on SQL_NO_DATA (the diagnostic readers leave "" there).
  void convertOnNoData() { onNoData_ = true; }

 private:
  static DRV_Return postThunk(void* ctx, void* record, DiagArea* diag, DRV_Return rc);
  DRV_Return post(DiagArea* diag, DRV_Return rc);
  bool allocate(int64_t size);

  SQLWCHAR* dst_;
  int64_t capacity_;
  bool wantLength_;
  Kind kind_;
  Flavour flavour_;
  bool diagnostics_;
  bool onNoData_ = false;
  int64_t max_;
  char* buf_ = nullptr;
  int64_t size_ = 0;
  SQLSMALLINT small_ = 0;
  SQLINTEGER large_ = 0;
  bool retry_ = false;
  int64_t units_ = -1;
};

template <class Call>
DRV_Return WideOut::run(const CallDesc* desc, void* handle, Call call) {
  int64_t want = 0;
  if (dst_ != nullptr || wantLength_) {
    const int64_t asked = capacity_ > 0 ? capacity_ * 4 : 0;
    want = flavour_ == Flavour::Once ? max_ : (asked < 256 ? 256 : (asked > max_ ? max_ : asked));
    if (flavour_ == Flavour::Repeatable && want > (int64_t{1} << 20)) want = int64_t{1} << 20;
  }
  for (;;) {
    if (!allocate(want)) return CallODBCRefuse(desc, ERR_NO_MEMORY, handle);
    retry_ = false;
    small_ = 0;
    large_ = 0;
    const DRV_Post p{&WideOut::postThunk, this};
    const DRV_Return rc = call(&p);
    if (!retry_) return rc;
    const int64_t got = kind_ == Kind::Small ? small_ : large_;
    int64_t next = size_ * 2;
    if (next < got + 8) next = got + 8;
    want = next > max_ ? max_ : next;
  }
}

#endif
