// Diagnostics as an application reaches them through the two libraries: the
// ANSI build's 8-bit readers and the Unicode build's W readers, loaded side by
// side into this process (each keeps its own handles), must tell the same
// story about the same failure.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/utf.h"

namespace {

using AllocHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using AllocEnvFn = SQLRETURN (*)(SQLHENV*);
using FreeHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);
using DisconnectFn = SQLRETURN (*)(SQLHDBC);
using GetDiagRecFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*,
                                   SQLCHAR*, SQLSMALLINT, SQLSMALLINT*);
using GetDiagRecWFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*,
                                    SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);
using GetDiagFieldFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT, SQLPOINTER,
                                     SQLSMALLINT, SQLSMALLINT*);
using ErrorFn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR*, SQLINTEGER*, SQLCHAR*,
                              SQLSMALLINT, SQLSMALLINT*);
using ErrorWFn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLHSTMT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*,
                               SQLSMALLINT, SQLSMALLINT*);
using NativeSqlFn = SQLRETURN (*)(SQLHDBC, SQLCHAR*, SQLINTEGER, SQLCHAR*, SQLINTEGER, SQLINTEGER*);
using NativeSqlWFn = SQLRETURN (*)(SQLHDBC, SQLWCHAR*, SQLINTEGER, SQLWCHAR*, SQLINTEGER,
                                   SQLINTEGER*);
using GetInfoFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);

using qmr_test::Utf8;

std::string Utf8(const SQLWCHAR* s) { return Utf8(s, qmr_test::Units(s)); }

// One diagnostic record as one build's readers report it.
struct Record {
  SQLRETURN rc = 99;
  std::string state;
  SQLINTEGER native = -1;
  std::string message;
  SQLSMALLINT length = -1;  // characters
  // SQLGetDiagField
  SQLINTEGER number = -1;
  std::string fieldState;
  SQLINTEGER fieldNative = -1;
  std::string fieldMessage;
  SQLSMALLINT fieldLength = -1;  // characters
  std::string classOrigin, subclassOrigin, connectionName;
};

// One library with the readers of its kind.
class Side {
 public:
  explicit Side(bool unicode) : unicode_(unicode) {
    const std::string path =
        std::string(QMR_BUILD_DIR) + "/lib/" + (unicode ? "libxbifxu.so" : "libxbifx.so");
    lib_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  ~Side() {
    if (lib_ != nullptr) dlclose(lib_);
  }
  bool loaded() const { return lib_ != nullptr; }
  bool unicode() const { return unicode_; }
  template <class F>
  F Sym(const char* name) const {
    return reinterpret_cast<F>(dlsym(lib_, name));
  }

  // An environment of the ODBC version asked for and a connection in it.
  void Open(int version) {
    if (version == 2) {
      ASSERT_EQ(SQL_SUCCESS, Sym<AllocEnvFn>("SQLAllocEnv")(&env_));
    } else {
      ASSERT_EQ(SQL_SUCCESS,
                Sym<AllocHandleFn>("SQLAllocHandle")(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_));
    }
    ASSERT_EQ(SQL_SUCCESS, Sym<AllocHandleFn>("SQLAllocHandle")(SQL_HANDLE_DBC, env_, &dbc_));
  }
  void Close() {
    auto freeHandle = Sym<FreeHandleFn>("SQLFreeHandle");
    if (dbc_ != nullptr) {
      EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_DBC, dbc_));
    }
    if (env_ != nullptr) {
      EXPECT_EQ(SQL_SUCCESS, freeHandle(SQL_HANDLE_ENV, env_));
    }
    dbc_ = nullptr;
    env_ = nullptr;
  }
  SQLHENV env() const { return env_; }
  SQLHDBC dbc() const { return dbc_; }

  SQLRETURN Disconnect() { return Sym<DisconnectFn>("SQLDisconnect")(dbc_); }
  // A refusal of the driver's own (no text to translate), which has an
  // ODBC 2 and an ODBC 3 form: it must read alike through both readers.
  SQLRETURN NativeSql() {
    SQLINTEGER len = 0;
    if (unicode_) {
      SQLWCHAR out[32];
      return Sym<NativeSqlWFn>("SQLNativeSqlW")(dbc_, nullptr, SQL_NTS, out, 32, &len);
    }
    SQLCHAR out[32];
    return Sym<NativeSqlFn>("SQLNativeSql")(dbc_, nullptr, SQL_NTS, out, 32, &len);
  }
  SQLRETURN GetInfo() {
    char buf[64];
    SQLSMALLINT len = 0;
    return Sym<GetInfoFn>(unicode_ ? "SQLGetInfoW" : "SQLGetInfo")(dbc_, SQL_DRIVER_NAME, buf,
                                                                   sizeof buf, &len);
  }

  // Record `rec` of a handle through SQLGetDiagRec[W] and SQLGetDiagField[W].
  Record Read(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1) const {
    Record r;
    if (unicode_) {
      SQLWCHAR state[6] = {0};
      SQLWCHAR msg[512] = {0};
      r.rc =
          Sym<GetDiagRecWFn>("SQLGetDiagRecW")(type, h, rec, state, &r.native, msg, 512, &r.length);
      r.state = Utf8(state);
      r.message = Utf8(msg);
      auto field = Sym<GetDiagFieldFn>("SQLGetDiagFieldW");
      SQLSMALLINT len = 0;
      field(type, h, 0, SQL_DIAG_NUMBER, &r.number, 0, &len);
      SQLWCHAR text[512] = {0};
      if (field(type, h, rec, SQL_DIAG_SQLSTATE, text, sizeof text, &len) == SQL_SUCCESS)
        r.fieldState = Utf8(text);
      field(type, h, rec, SQL_DIAG_NATIVE, &r.fieldNative, 0, &len);
      std::memset(text, 0, sizeof text);
      if (field(type, h, rec, SQL_DIAG_MESSAGE_TEXT, text, sizeof text, &len) == SQL_SUCCESS) {
        r.fieldMessage = Utf8(text);
        r.fieldLength = static_cast<SQLSMALLINT>(len / 2);  // bytes for the W form
      }
      std::memset(text, 0, sizeof text);
      if (field(type, h, rec, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &len) == SQL_SUCCESS)
        r.classOrigin = Utf8(text);
      std::memset(text, 0, sizeof text);
      if (field(type, h, rec, SQL_DIAG_SUBCLASS_ORIGIN, text, sizeof text, &len) == SQL_SUCCESS)
        r.subclassOrigin = Utf8(text);
      std::memset(text, 0xFF, sizeof text);
      if (field(type, h, rec, SQL_DIAG_CONNECTION_NAME, text, sizeof text, &len) == SQL_SUCCESS)
        r.connectionName = Utf8(text);
      return r;
    }
    SQLCHAR state[6] = "";
    SQLCHAR msg[512] = "";
    r.rc = Sym<GetDiagRecFn>("SQLGetDiagRec")(type, h, rec, state, &r.native, msg, 512, &r.length);
    r.state = reinterpret_cast<char*>(state);
    r.message = reinterpret_cast<char*>(msg);
    auto field = Sym<GetDiagFieldFn>("SQLGetDiagField");
    SQLSMALLINT len = 0;
    field(type, h, 0, SQL_DIAG_NUMBER, &r.number, 0, &len);
    char text[512] = "";
    if (field(type, h, rec, SQL_DIAG_SQLSTATE, text, sizeof text, &len) == SQL_SUCCESS)
      r.fieldState = text;
    field(type, h, rec, SQL_DIAG_NATIVE, &r.fieldNative, 0, &len);
    std::memset(text, 0, sizeof text);
    if (field(type, h, rec, SQL_DIAG_MESSAGE_TEXT, text, sizeof text, &len) == SQL_SUCCESS) {
      r.fieldMessage = text;
      r.fieldLength = len;
    }
    std::memset(text, 0, sizeof text);
    if (field(type, h, rec, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &len) == SQL_SUCCESS)
      r.classOrigin = text;
    std::memset(text, 0, sizeof text);
    if (field(type, h, rec, SQL_DIAG_SUBCLASS_ORIGIN, text, sizeof text, &len) == SQL_SUCCESS)
      r.subclassOrigin = text;
    std::memset(text, 'x', sizeof text);
    if (field(type, h, rec, SQL_DIAG_CONNECTION_NAME, text, sizeof text, &len) == SQL_SUCCESS)
      r.connectionName = text;
    return r;
  }

  // SQLError[W] on the connection: rc, state, message, length.
  SQLRETURN Error(SQLHENV env, SQLHDBC dbc, std::string* state, std::string* msg,
                  SQLSMALLINT* len) const {
    SQLINTEGER native = -1;
    if (unicode_) {
      SQLWCHAR s[6] = {0};
      SQLWCHAR m[512] = {0};
      SQLRETURN rc = Sym<ErrorWFn>("SQLErrorW")(env, dbc, nullptr, s, &native, m, 512, len);
      *state = Utf8(s);
      *msg = Utf8(m);
      return rc;
    }
    SQLCHAR s[6] = "";
    SQLCHAR m[512] = "";
    SQLRETURN rc = Sym<ErrorFn>("SQLError")(env, dbc, nullptr, s, &native, m, 512, len);
    *state = reinterpret_cast<char*>(s);
    *msg = reinterpret_cast<char*>(m);
    return rc;
  }

 private:
  bool unicode_;
  void* lib_ = nullptr;
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
};

class DiagThroughLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ansi_.loaded()) << dlerror();
    ASSERT_TRUE(wide_.loaded()) << dlerror();
  }
  Side ansi_{false};
  Side wide_{true};
};

// What both builds must report for one failure.
struct Case {
  const char* what;
  int version;
  SQLRETURN (Side::*provoke)();
  const char* state;
  const char* message;
};

const Case kCases[] = {
    {"disconnect without connection, ODBC 3", 3, &Side::Disconnect, "08003",
     "[Quillmar][ODBC][Driver]Connection not open"},
    {"disconnect without connection, ODBC 2", 2, &Side::Disconnect, "08003",
     "[Quillmar][ODBC][Driver]Connection not open"},
    {"native SQL without a text, ODBC 3", 3, &Side::NativeSql, "HY009",
     "[Quillmar][ODBC][Driver]Invalid argument value"},
    {"native SQL without a text, ODBC 2", 2, &Side::NativeSql, "S1009",
     "[Quillmar][ODBC][Driver]Invalid argument value"},
    {"information without connection, ODBC 3", 3, &Side::GetInfo, "08003",
     "[Quillmar][ODBC][Driver]Connection not open"},
};

TEST_F(DiagThroughLoad, WideAndNarrowReadersAgreeOnTheSameRecord) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Record rec[2];
    Side* sides[2] = {&ansi_, &wide_};
    for (int i = 0; i < 2; ++i) {
      Side& s = *sides[i];
      s.Open(c.version);
      EXPECT_EQ(SQL_ERROR, (s.*c.provoke)()) << (s.unicode() ? "W" : "A");
      rec[i] = s.Read(SQL_HANDLE_DBC, s.dbc());
      // Record 2 does not exist; reading leaves the record in place.
      EXPECT_EQ(SQL_NO_DATA, s.Read(SQL_HANDLE_DBC, s.dbc(), 2).rc);
      EXPECT_EQ(rec[i].message, s.Read(SQL_HANDLE_DBC, s.dbc()).message);
      s.Close();
    }
    const Record& a = rec[0];
    const Record& w = rec[1];
    EXPECT_EQ(SQL_SUCCESS, a.rc);
    EXPECT_EQ(SQL_SUCCESS, w.rc);
    EXPECT_EQ(c.state, a.state);
    EXPECT_EQ(c.message, a.message);
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(c.message)), a.length);
    EXPECT_EQ(0, a.native);
    EXPECT_EQ(1, a.number);
    // The W forms: the same record after UTF-16 -> UTF-8, the same lengths
    // in characters (the text is ASCII).
    EXPECT_EQ(a.state, w.state);
    EXPECT_EQ(a.native, w.native);
    EXPECT_EQ(a.message, w.message);
    EXPECT_EQ(a.length, w.length);
    EXPECT_EQ(a.number, w.number);
    // The field readers agree with the record readers and with each other.
    EXPECT_EQ(a.state, a.fieldState);
    EXPECT_EQ(a.fieldState, w.fieldState);
    EXPECT_EQ(a.native, a.fieldNative);
    EXPECT_EQ(a.fieldNative, w.fieldNative);
    EXPECT_EQ(a.message, a.fieldMessage);
    EXPECT_EQ(a.fieldMessage, w.fieldMessage);
    EXPECT_EQ(a.length, a.fieldLength);
    EXPECT_EQ(a.fieldLength, w.fieldLength);
    EXPECT_EQ("ISO 9075", a.classOrigin);
    EXPECT_EQ(a.classOrigin, w.classOrigin);
    EXPECT_EQ(a.subclassOrigin, w.subclassOrigin);
    EXPECT_EQ("", a.connectionName);  // never connected: no data-source name
    EXPECT_EQ("", w.connectionName);
  }
}

TEST_F(DiagThroughLoad, ShortBuffersCutTerminateAndWarnWithoutANewRecord) {
  const std::string full = "[Quillmar][ODBC][Driver]Connection not open";
  // 8-bit: 12 bytes take 11 characters and the terminator.
  ansi_.Open(3);
  ASSERT_EQ(SQL_ERROR, ansi_.Disconnect());
  {
    auto rec = ansi_.Sym<GetDiagRecFn>("SQLGetDiagRec");
    SQLCHAR state[6] = "";
    SQLINTEGER native = -1;
    SQLCHAR msg[16];
    std::memset(msg, 'z', sizeof msg);
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              rec(SQL_HANDLE_DBC, ansi_.dbc(), 1, state, &native, msg, 12, &len));
    EXPECT_STREQ("[Quillmar][", reinterpret_cast<char*>(msg));
    EXPECT_EQ('z', msg[12]);  // nothing beyond the buffer
    EXPECT_EQ(static_cast<SQLSMALLINT>(full.size()), len);
    EXPECT_STREQ("08003", reinterpret_cast<char*>(state));  // the record's, not 01004's
    // One byte: only the terminator; no buffer at all: just the length.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              rec(SQL_HANDLE_DBC, ansi_.dbc(), 1, state, &native, msg, 1, &len));
    EXPECT_EQ('\0', msg[0]);
    len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              rec(SQL_HANDLE_DBC, ansi_.dbc(), 1, state, &native, nullptr, 0, &len));
    EXPECT_EQ(static_cast<SQLSMALLINT>(full.size()), len);
    // The field reader cuts the same way.
    auto field = ansi_.Sym<GetDiagFieldFn>("SQLGetDiagField");
    char text[16];
    std::memset(text, 'z', sizeof text);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              field(SQL_HANDLE_DBC, ansi_.dbc(), 1, SQL_DIAG_MESSAGE_TEXT, text, 12, &len));
    EXPECT_STREQ("[Quillmar][", text);
    EXPECT_EQ(static_cast<SQLSMALLINT>(full.size()), len);
  }
  const Record after = ansi_.Read(SQL_HANDLE_DBC, ansi_.dbc());
  EXPECT_EQ(1, after.number);
  EXPECT_EQ(full, after.message);
  ansi_.Close();

  // UTF-16: 12 characters take 11 and the terminator.
  wide_.Open(3);
  ASSERT_EQ(SQL_ERROR, wide_.Disconnect());
  {
    auto rec = wide_.Sym<GetDiagRecWFn>("SQLGetDiagRecW");
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = -1;
    SQLWCHAR msg[16];
    for (SQLWCHAR& c : msg) c = 'z';
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              rec(SQL_HANDLE_DBC, wide_.dbc(), 1, state, &native, msg, 12, &len));
    EXPECT_EQ("[Quillmar][", Utf8(msg));
    EXPECT_EQ('z', msg[12]);
    EXPECT_EQ(static_cast<SQLSMALLINT>(full.size()), len);
    EXPECT_EQ("08003", Utf8(state));
    auto field = wide_.Sym<GetDiagFieldFn>("SQLGetDiagFieldW");
    for (SQLWCHAR& c : msg) c = 'z';
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, field(SQL_HANDLE_DBC, wide_.dbc(), 1, SQL_DIAG_MESSAGE_TEXT,
                                           msg, 12 * sizeof(SQLWCHAR), &len));
    EXPECT_EQ("[Quillmar][", Utf8(msg));
    EXPECT_EQ('z', msg[12]);
    EXPECT_EQ(static_cast<SQLSMALLINT>(full.size() * 2), len);  // bytes
  }
  const Record wafter = wide_.Read(SQL_HANDLE_DBC, wide_.dbc());
  EXPECT_EQ(1, wafter.number);
  EXPECT_EQ(full, wafter.message);
  wide_.Close();
}

TEST_F(DiagThroughLoad, SqlErrorDrainsTheMostSpecificHandle) {
  for (Side* s : {&ansi_, &wide_}) {
    SCOPED_TRACE(s->unicode() ? "SQLErrorW" : "SQLError");
    s->Open(3);
    ASSERT_EQ(SQL_ERROR, s->NativeSql());
    std::string state, msg;
    SQLSMALLINT len = -1;
    // Environment and connection given: the connection is read.
    EXPECT_EQ(SQL_SUCCESS, s->Error(s->env(), s->dbc(), &state, &msg, &len));
    EXPECT_EQ("HY009", state);
    EXPECT_EQ("[Quillmar][ODBC][Driver]Invalid argument value", msg);
    EXPECT_EQ(static_cast<SQLSMALLINT>(msg.size()), len);
    // Consumed: nothing more, on any reader.
    EXPECT_EQ(SQL_NO_DATA, s->Error(nullptr, s->dbc(), &state, &msg, &len));
    EXPECT_EQ("00000", state);
    EXPECT_EQ("", msg);
    EXPECT_EQ(0, len);
    EXPECT_EQ(SQL_NO_DATA, s->Read(SQL_HANDLE_DBC, s->dbc()).rc);
    // The environment had nothing of its own.
    EXPECT_EQ(SQL_NO_DATA, s->Error(s->env(), nullptr, &state, &msg, &len));
    EXPECT_EQ(SQL_INVALID_HANDLE, s->Error(nullptr, nullptr, &state, &msg, &len));
    s->Close();
  }
}

TEST_F(DiagThroughLoad, RefusalsSayTheirOwnStateAndNothingElse) {
  // The application sees exactly one record naming the refusal, never the
  // Driver Manager's "does not support this function" (IM001) and never an
  // undefined code.
  for (Side* s : {&ansi_, &wide_}) {
    SCOPED_TRACE(s->unicode() ? "W" : "A");
    s->Open(3);
    for (SQLRETURN (Side::*op)() : {&Side::NativeSql}) {
      ASSERT_EQ(SQL_ERROR, (s->*op)());
      const Record r = s->Read(SQL_HANDLE_DBC, s->dbc());
      EXPECT_EQ(1, r.number);
      EXPECT_EQ("HY009", r.state);
      EXPECT_EQ("[Quillmar][ODBC][Driver]Invalid argument value", r.message);
      EXPECT_EQ(std::string::npos, r.message.find("Undefined"));
      EXPECT_NE("IM001", r.state);
    }
    s->Close();
  }
}

}  // namespace
