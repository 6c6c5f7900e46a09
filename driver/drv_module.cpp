// The driver library's own translation unit until the ODBC layer lands; the
// runtime library is linked in whole so that its code is part of the driver.
