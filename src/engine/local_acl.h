// ACL exchanges on a local device handle (the USB printer device or the parallel port):
// envelope, command record, reply record checked field by field; and the information queries
// whose payload follows the reply.
#pragma once

#include <cstddef>

#include "engine/acl_protocol.h"
#include "platform/win32.h"

// The command and reply records of the local channels (the network channel keeps its own).
extern AclCommand g_aclCmd;
extern AclReply aclResponse;

// Reply reads: at most this many reads of at most this long each.
constexpr int LOCAL_REPLY_READS = 10;
constexpr DWORD LOCAL_REPLY_TIMEOUT_MS = 3000;
// Size of the `out` buffer of _GetInfo: up to 1024 payload bytes and a zero byte.
constexpr size_t LOCAL_INFO_BUFFER_SIZE = 1025;

// Writes PJL_UEL; true when all 9 bytes were written.
bool WritePjlUel(HANDLE handle);

// Reads the reply record into aclResponse, zeroed first: at most LOCAL_REPLY_READS reads of the
// missing bytes, each logged with `countFormat` (one %d) and followed by a 500 ms pause.
// Returns the bytes received, or -1 after a failed read.
int ReadAclReply(HANDLE handle, const wchar_t* countFormat);

// One command-and-reply exchange for the low 8 bits of `cmdID`. Returns 1 when the reply arrived
// whole and echoed the prefix and the code with success status, else 0. aclResponse then holds
// the reply. A successful exchange leaves the closing PJL_UEL to the caller.
int SendAclCmd(HANDLE handle, int cmdID);

// Runs the information command `cmdID` on the device of the engine context's printer (its USB
// device, or the parallel port after a spooler restart) and reads its payload into `out`
// (LOCAL_INFO_BUFFER_SIZE bytes), zero-terminated. Closes the device again. Returns 1 or 0.
int _GetInfo(int cmdID, char* out);
