// auto_handle: owns one file descriptor and closes it when it is replaced or
// destroyed. It belongs to the file layer (platform/files/FileHandle.h, where
// its contract is written); this is the header the layers above include.
#ifndef TARNALERT_UTIL_AUTO_HANDLE_H_
#define TARNALERT_UTIL_AUTO_HANDLE_H_

#include "platform/files/FileHandle.h"

#endif  // TARNALERT_UTIL_AUTO_HANDLE_H_
