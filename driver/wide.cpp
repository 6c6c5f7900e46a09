// Conversions of the UTF-16 entry points.
#include "driver/wide.h"

#include <cstdlib>
#include <cstring>

#include "util/errcodes.h"
#include "util/textconv.h"

WideIn::WideIn(const SQLWCHAR* text, int64_t length, TextCheck check) {
  if (text == nullptr) {
    length_ = static_cast<int>(length);
    return;
  }
  if (length < 0 && length != SQL_NTS) {
    refusal_ = ERR_INVALID_LENGTH;
    return;
  }
  if (check == TextCheck::Refuse &&
      !utf16_well_formed(reinterpret_cast<const char16_t*>(text), length)) {
    refusal_ = ERR_NOT_IN_REPERTOIRE;
    return;
  }
  utf8_ = utf16_to_utf8_dupn(reinterpret_cast<const char16_t*>(text), length);
  if (utf8_ == nullptr) refusal_ = ERR_NO_MEMORY;
}

WideIn::~WideIn() { std::free(utf8_); }

NarrowIn::NarrowIn(const SQLCHAR* text, int64_t length, TextCheck check)
    : text_(const_cast<SQLCHAR*>(text)), length_(static_cast<int>(length)) {
  if (text == nullptr || (length < 0 && length != SQL_NTS)) return;
  const char* s = reinterpret_cast<const char*>(text);
  const int64_t n = length == SQL_NTS ? static_cast<int64_t>(std::strlen(s)) : length;
  if (utf8_well_formed(s, n, Utf8Form::Standard)) return;
  if (check == TextCheck::Refuse) {
    refusal_ = ERR_NOT_IN_REPERTOIRE;
    return;
  }
  repaired_ = utf8_repaired(s, n, Utf8Form::Standard);
  text_ = reinterpret_cast<SQLCHAR*>(&repaired_[0]);
  length_ =
      repaired_.find('\0') == std::string::npos ? SQL_NTS : static_cast<int>(repaired_.size());
}

int32_t DRV_FirstRefusal(std::initializer_list<const WideIn*> args) {
  for (const WideIn* a : args)
    if (a->refusal() != 0) return a->refusal();
  return 0;
}

WideOut::WideOut(SQLWCHAR* dst, int64_t capacity, bool wantLength, Kind kind, Flavour flavour,
                 bool diagnostics)
    : dst_(dst),
      capacity_(capacity),
      wantLength_(wantLength),
      kind_(kind),
      flavour_(flavour),
      diagnostics_(diagnostics),
      max_(kind == Kind::Small ? kMaxSmallBytes : kMaxLargeBytes) {}

WideOut::~WideOut() { std::free(buf_); }

bool WideOut::allocate(int64_t size) {
  std::free(buf_);
  buf_ = nullptr;
  size_ = 0;
  if (size <= 0) return true;
  // One byte beyond what the operation is told, so the text is always
  // terminated whatever the operation wrote.
  buf_ = static_cast<char*>(std::calloc(static_cast<size_t>(size) + 1, 1));
  if (buf_ == nullptr) return false;
  size_ = size;
  return true;
}

DRV_Return WideOut::postThunk(void* ctx, void*, DiagArea* diag, DRV_Return rc) {
  return static_cast<WideOut*>(ctx)->post(diag, rc);
}

DRV_Return WideOut::post(DiagArea* diag, DRV_Return rc) {
  const bool ok =
      rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || (onNoData_ && rc == SQL_NO_DATA);
  if (!ok || buf_ == nullptr) return rc;
  const int64_t got = kind_ == Kind::Small ? small_ : large_;
  // The operation may have cut the text (copy-out stops up to three bytes
  // short of the end so as not to split a character).
  const bool opMayHaveCut = got + 4 >= size_;
  if (opMayHaveCut && flavour_ == Flavour::Repeatable && size_ < max_) {
    retry_ = true;
    return rc;
  }
  buf_[size_] = '\0';
  const int64_t units = utf8_to_utf16_len(buf_, SQL_NTS);
  units_ = units;
  bool cut = false;
  if (dst_ != nullptr) {
    auto* out = reinterpret_cast<char16_t*>(dst_);
    if (capacity_ >= units + 1) {
      out[utf8_to_utf16(buf_, out, units)] = 0;
    } else if (capacity_ > 0) {
      out[utf8_to_utf16(buf_, out, capacity_ - 1)] = 0;
      cut = true;
    } else {
      cut = true;  // no room even for the terminator: nothing is written
    }
  }
  if (cut && rc != SQL_NO_DATA) {
    // A warning of the operation's own cut is already there.
    const bool alreadyTold = opMayHaveCut && rc == SQL_SUCCESS_WITH_INFO;
    if (diagnostics_ && diag != nullptr && !alreadyTold) DIAG_AddCode(diag, ERR_TRUNCATED);
    rc = SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}
