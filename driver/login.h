// The login dialog: a library of its own (libuidlg32w.so), loaded by name
// the first time a connect has to ask the user for login values.
//
//   int32_t QmrLOGIN(void* window, const char* driver, const char* connStr,
//                    char** result, int mode);
//   void QmrLOGIN_Free(char* result);
//
// QmrLOGIN answers 1 when the user confirmed; *result then holds a complete
// connection string, which replaces the application's. Any other answer
// means cancelled or failed. QmrLOGIN_Free is called after every QmrLOGIN,
// whatever it answered, also with a null result.
#ifndef QMR_DRIVER_LOGIN_H
#define QMR_DRIVER_LOGIN_H

#include <string>

enum class LoginOutcome {
  Confirmed,    // *out holds the dialog's connection string
  Cancelled,    // the user cancelled or the dialog failed
  Unavailable,  // the library or one of its functions is missing (*why tells)
};

LoginOutcome LOGIN_Prompt(void* window, const char* driver, const char* connStr, int mode,
                          std::string* out, std::string* why);

// The library's file name (default "libuidlg32w.so"); null restores the
// default and the next prompt loads anew. For tests.
void LOGIN_SetLibraryName(const char* name);

#endif
