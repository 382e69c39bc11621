// FormatMessageW with the English (United States) system texts of the codes the program meets,
// and the local memory it allocates them in.
#include <cstring>
#include <string>

#include "host/machine.h"
#include "internal.h"
#include "tracked_heap.h"
#include "winhost/kernel.h"

namespace {

struct MessageText {
  DWORD code;
  const wchar_t* text;
};

// Texts as the system message table holds them, each ending in "\r\n".
const MessageText kMessages[] = {
    {0, L"The operation completed successfully.\r\n"},
    {1, L"Incorrect function.\r\n"},
    {2, L"The system cannot find the file specified.\r\n"},
    {3, L"The system cannot find the path specified.\r\n"},
    {4, L"The system cannot open the file.\r\n"},
    {5, L"Access is denied.\r\n"},
    {6, L"The handle is invalid.\r\n"},
    {8, L"Not enough memory resources are available to process this command.\r\n"},
    {13, L"The data is invalid.\r\n"},
    {14, L"Not enough memory resources are available to complete this operation.\r\n"},
    {21, L"The device is not ready.\r\n"},
    {31, L"A device attached to the system is not functioning.\r\n"},
    {32, L"The process cannot access the file because it is being used by another process.\r\n"},
    {38, L"Reached the end of the file.\r\n"},
    {50, L"The request is not supported.\r\n"},
    {87, L"The parameter is incorrect.\r\n"},
    {109, L"The pipe has been ended.\r\n"},
    {122, L"The data area passed to a system call is too small.\r\n"},
    {123, L"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, L"The specified module could not be found.\r\n"},
    {127, L"The specified procedure could not be found.\r\n"},
    {183, L"Cannot create a file when that file already exists.\r\n"},
    {234, L"More data is available.\r\n"},
    {258, L"The wait operation timed out.\r\n"},
    {259, L"No more data is available.\r\n"},
    {995, L"The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {996, L"Overlapped I/O event is not in a signaled state.\r\n"},
    {997, L"Overlapped I/O operation is in progress.\r\n"},
    {1051, L"A stop control has been sent to a service that other running services are dependent on.\r\n"},
    {1052, L"The requested control is not valid for this service.\r\n"},
    {1053, L"The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1056, L"An instance of the service is already running.\r\n"},
    {1058, L"The service cannot be started, either because it is disabled or because it has no enabled devices "
           L"associated with it.\r\n"},
    {1060, L"The specified service does not exist as an installed service.\r\n"},
    {1061, L"The service cannot accept control messages at this time.\r\n"},
    {1062, L"The service has not been started.\r\n"},
    {1115, L"A system shutdown is in progress.\r\n"},
    {1150, L"The specified program requires a newer version of Windows.\r\n"},
    {1168, L"Element not found.\r\n"},
    {1460, L"This operation returned because the timeout period expired.\r\n"},
    {1796, L"The specified port is unknown.\r\n"},
    {1801, L"The printer name is invalid.\r\n"},
    // Windows Sockets.
    {10004, L"A blocking operation was interrupted by a call to WSACancelBlockingCall.\r\n"},
    {10009, L"The file handle supplied is not valid.\r\n"},
    {10013, L"An attempt was made to access a socket in a way forbidden by its access permissions.\r\n"},
    {10014, L"The system detected an invalid pointer address in attempting to use a pointer argument in a call.\r\n"},
    {10022, L"An invalid argument was supplied.\r\n"},
    {10024, L"Too many open sockets.\r\n"},
    {10035, L"A non-blocking socket operation could not be completed immediately.\r\n"},
    {10036, L"A blocking operation is currently executing.\r\n"},
    {10038, L"An operation was attempted on something that is not a socket.\r\n"},
    {10047, L"An address incompatible with the requested protocol was used.\r\n"},
    {10048, L"Only one usage of each socket address (protocol/network address/port) is normally permitted.\r\n"},
    {10049, L"The requested address is not valid in its context.\r\n"},
    {10050, L"A socket operation encountered a dead network.\r\n"},
    {10051, L"A socket operation was attempted to an unreachable network.\r\n"},
    {10053, L"An established connection was aborted by the software in your host machine.\r\n"},
    {10054, L"An existing connection was forcibly closed by the remote host.\r\n"},
    {10055, L"An operation on a socket could not be performed because the system lacked sufficient buffer space "
            L"or because a queue was full.\r\n"},
    {10057, L"A request to send or receive data was disallowed because the socket is not connected and (when "
            L"sending on a datagram socket using a sendto call) no address was supplied.\r\n"},
    {10060, L"A connection attempt failed because the connected party did not properly respond after a period of "
            L"time, or established connection failed because connected host has failed to respond.\r\n"},
    {10061, L"No connection could be made because the target machine actively refused it.\r\n"},
    {10065, L"A socket operation was attempted to an unreachable host.\r\n"},
    {10091, L"WSAStartup cannot function at this time because the underlying system it uses to provide network "
            L"services is currently unavailable.\r\n"},
    {10092, L"The Windows Sockets version requested is not supported.\r\n"},
    {10093, L"Either the application has not called WSAStartup, or WSAStartup failed.\r\n"},
    {11001, L"No such host is known.\r\n"},
    {11002, L"This is usually a temporary error during hostname resolution and means that the local server did "
            L"not receive a response from an authoritative server.\r\n"},
    {11003, L"A non-recoverable error occurred during a database lookup.\r\n"},
    {11004, L"The requested name is valid, but no data of the requested type was found.\r\n"},
    // Device installation (SetupAPI), in their HRESULT form.
    {0x800F0000, L"A non-empty line was encountered in the INF before the start of a section.\r\n"},
    {0x800F0002, L"An INF section was encountered whose name exceeds the maximum section name length.\r\n"},
    {0x800F0003, L"The syntax of the INF is invalid.\r\n"},
    {0x800F0100, L"The style of the INF is different than what was requested.\r\n"},
    {0x800F0101, L"The required section was not found in the INF.\r\n"},
    {0x800F0102, L"The required line was not found in the INF.\r\n"},
    {0x800F0200, L"The INF or the device information set or element does not have an associated install class.\r\n"},
    {0x800F0201, L"The INF or the device information set or element does not match the specified install class.\r\n"},
    {0x800F0202, L"An existing device was found that is a duplicate of the device being manually installed.\r\n"},
    {0x800F0203, L"There is no driver selected for the device information set or element.\r\n"},
    {0x800F0204, L"The requested device registry key does not exist.\r\n"},
    {0x800F0205, L"The device instance name is invalid.\r\n"},
    {0x800F0206, L"The install class is not present or is invalid.\r\n"},
    {0x800F0207, L"The device instance cannot be created because it already exists.\r\n"},
    {0x800F0208, L"The operation cannot be performed on a device information element that has not been registered.\r\n"},
    {0x800F0209, L"The device property code is invalid.\r\n"},
    {0x800F020A, L"The INF from which a driver list is to be built does not exist.\r\n"},
    {0x800F020B, L"The device instance does not exist in the hardware tree.\r\n"},
    {0x800F020C, L"The icon representing this install class cannot be loaded.\r\n"},
    {0x800F020D, L"The class installer registry entry is invalid.\r\n"},
    {0x800F020E, L"The class installer has indicated that the default action should be performed for this "
                 L"installation request.\r\n"},
    {0x800F020F, L"The operation does not require any files to be copied.\r\n"},
    {0x800F0210, L"The specified hardware profile does not exist.\r\n"},
    {0x800F0211, L"There is no device information element currently selected for this device information set.\r\n"},
    {0x800F0212, L"The operation cannot be performed because the device information set is locked.\r\n"},
    {0x800F0213, L"The operation cannot be performed because the device information element is locked.\r\n"},
    {0x800F0214, L"The specified path does not contain any applicable device INFs.\r\n"},
    {0x800F0215, L"No class installer parameters have been set for the device information set or element.\r\n"},
    {0x800F0216, L"The operation cannot be performed because the file queue is locked.\r\n"},
    {0x800F0217, L"A service installation section in this INF is invalid.\r\n"},
    {0x800F0218, L"There is no class driver list for the device information element.\r\n"},
    {0x800F0219, L"The installation failed because a function driver was not specified for this device instance.\r\n"},
    {0x800F021A, L"There is presently no default device interface designated for this interface class.\r\n"},
    {0x800F021B, L"The operation cannot be performed because the device interface is currently active.\r\n"},
    {0x800F021C, L"The operation cannot be performed because the device interface has been removed from the system.\r\n"},
    {0x800F021D, L"An interface installation section in this INF is invalid.\r\n"},
    {0x800F021E, L"This interface class does not exist in the system.\r\n"},
    {0x800F021F, L"The reference string supplied for this interface device is invalid.\r\n"},
    {0x800F0220, L"The specified machine name does not conform to UNC naming conventions.\r\n"},
    {0x800F0221, L"A general remote communication error occurred.\r\n"},
    {0x800F0222, L"The machine selected for remote communication is not available at this time.\r\n"},
    {0x800F0223, L"The Plug and Play service is not available on the remote machine.\r\n"},
    {0x800F0224, L"The property page provider registry entry is invalid.\r\n"},
    {0x800F0225, L"The requested device interface is not present in the system.\r\n"},
    {0x800F0226, L"The device's co-installer has additional work to perform after installation is complete.\r\n"},
    {0x800F0227, L"The device's co-installer is invalid.\r\n"},
    {0x800F0228, L"There are no compatible drivers for this device.\r\n"},
    {0x800F0229, L"There is no icon that represents this device or device type.\r\n"},
    {0x800F022A, L"A logical configuration specified in this INF is invalid.\r\n"},
    {0x800F022B, L"The class installer has denied the request to install or upgrade this device.\r\n"},
    {0x800F022C, L"One of the filter drivers installed for this device is invalid.\r\n"},
    {0x800F1000, L"No installed components were detected.\r\n"},
};

const wchar_t* FindMessage(DWORD code) {
  for (const MessageText& message : kMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

// Languages the message table answers in: neutral, user and system default, English (US).
bool LanguageAvailable(DWORD language) {
  return language == 0 || language == 0x0400 || language == 0x0800 || language == 0x0409;
}

host::TrackedHeap& Heap() {
  static host::TrackedHeap* heap = new host::TrackedHeap("local memory");
  return *heap;
}

const bool g_registered = (Heap(), true);

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
  HOST_ENTER("LocalAlloc", nullptr);
  return Heap().Allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
}

HLOCAL WINAPI LocalFree(HLOCAL memory) { return Heap().Free(memory); }

namespace {

// With the maximum width FORMAT_MESSAGE_MAX_WIDTH_MASK the text's own line breaks are dropped and
// none are made: each CR LF, lone CR or lone LF becomes one blank ("hi\r\n" gives "hi ").
std::wstring OnOneLine(const wchar_t* text) {
  std::wstring line;
  for (const wchar_t* c = text; *c; ++c) {
    if (*c == L'\r' && c[1] == L'\n') ++c;
    line.push_back(*c == L'\r' || *c == L'\n' ? L' ' : *c);
  }
  return line;
}

}  // namespace

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                            DWORD size, void* arguments) {
  // With an allocated buffer, a failed call leaves the caller's pointer null.
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && buffer) *reinterpret_cast<LPWSTR*>(buffer) = nullptr;
  HOST_ENTER("FormatMessageW", 0);
  // Only system texts are modelled, on one line or as they are; other sources and line wrapping
  // at a chosen width are not used by the program.
  DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) ||
      (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const wchar_t* found = FindMessage(messageId);
  if (!found) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  if (!LanguageAvailable(languageId)) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  const std::wstring text = width == FORMAT_MESSAGE_MAX_WIDTH_MASK ? OnOneLine(found) : std::wstring(found);
  const size_t length = text.size();
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    SIZE_T bytes = (length + 1) * sizeof(WCHAR);
    if (bytes < size * sizeof(WCHAR)) bytes = size * sizeof(WCHAR);
    auto* copy = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, bytes));
    if (!copy) return 0;
    std::wmemcpy(copy, text.c_str(), length + 1);
    *reinterpret_cast<LPWSTR*>(buffer) = copy;
    return static_cast<DWORD>(length);
  }
  if (size < length + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(buffer, text.c_str(), length + 1);
  return static_cast<DWORD>(length);
}
