// The file system of the simulated machine: Windows paths on host folders, file handles,
// device paths handed to registered openers, the program's module path and current folder.
#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cwctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "host/kernel_objects.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/fileio.h"
#include "winhost/kernel.h"

namespace fs = std::filesystem;

namespace host {
namespace {

struct FileSystem {
  std::mutex lock;
  std::map<wchar_t, std::string> drives;
  std::string ownFolder;  // the temporary folder behind C: of a fresh machine
  std::wstring modulePath;
  std::wstring currentDirectory;
  std::vector<DeviceOpener> openers;
  std::map<std::string, DWORD> attributes;  // set by SetFileAttributesW; files without one are archive files
};

FileSystem& Fs() {
  static FileSystem* state = new FileSystem;
  return *state;
}

void RemoveOwnFolder() {
  if (!Fs().ownFolder.empty()) {
    std::error_code ignored;
    fs::remove_all(Fs().ownFolder, ignored);
    Fs().ownFolder.clear();
  }
}

void ResetFileSystem() {
  std::lock_guard<std::mutex> guard(Fs().lock);
  RemoveOwnFolder();
  std::string pattern = (fs::temp_directory_path() / "winhost-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data())) Fs().ownFolder = name.data();
  Fs().drives.clear();
  Fs().drives[L'C'] = Fs().ownFolder;
  std::error_code ignored;
  if (!Fs().ownFolder.empty()) fs::create_directories(fs::path(Fs().ownFolder) / "Windows" / "Temp", ignored);
  Fs().modulePath = L"C:\\Program Files\\Corvel\\corvel.exe";
  Fs().currentDirectory = L"C:\\";
  Fs().openers.clear();
  Fs().attributes.clear();
}

const bool g_registered = [] {
  RegisterArea(Area{"file system", ResetFileSystem, nullptr});
  std::atexit([] { RemoveOwnFolder(); });
  return true;
}();

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDevicePath(const std::wstring& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == L'.' || path[2] == L'?') &&
         IsSeparator(path[3]);
}

// Full Windows path: drive, backslashes, no "." or "..". Device paths stay as they are.
std::wstring FullPath(const std::wstring& name, const std::wstring& current) {
  if (IsDevicePath(name)) return name;
  std::wstring path = name;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  std::wstring drive;
  std::wstring rest;
  if (path.size() >= 2 && path[1] == L':') {
    drive = path.substr(0, 2);
    rest = path.substr(2);
    if (rest.empty() || rest[0] != L'\\') rest = L"\\" + rest;
  } else if (!path.empty() && path[0] == L'\\') {
    drive = current.substr(0, 2);
    rest = path;
  } else {
    drive = current.substr(0, 2);
    rest = current.substr(2);
    if (rest.empty() || rest.back() != L'\\') rest += L'\\';
    rest += path;
  }
  drive[0] = static_cast<wchar_t>(std::towupper(drive[0]));
  bool trailing = !rest.empty() && rest.back() == L'\\' && rest.size() > 1;
  std::vector<std::wstring> parts;
  std::wstringstream stream(rest);
  std::wstring part;
  while (std::getline(stream, part, L'\\')) {
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  // A last segment loses its trailing periods and blanks ("image.bin. ." -> "image.bin").
  if (!trailing && !parts.empty()) {
    std::wstring& last = parts.back();
    size_t keep = last.find_last_not_of(L". ");
    if (keep == std::wstring::npos) {
      parts.pop_back();
    } else {
      last.erase(keep + 1);
    }
  }
  std::wstring full = drive;
  for (const std::wstring& p : parts) full += L"\\" + p;
  if (parts.empty() || trailing) full += L"\\";
  return full;
}

// Host path of a full Windows path; existing components are matched without regard to case.
std::string HostPathLocked(const std::wstring& full) {
  if (full.size() < 2 || full[1] != L':') return {};
  auto drive = Fs().drives.find(static_cast<wchar_t>(std::towupper(full[0])));
  if (drive == Fs().drives.end() || drive->second.empty()) return {};
  fs::path result = drive->second;
  std::wstringstream stream(full.substr(2));
  std::wstring part;
  while (std::getline(stream, part, L'\\')) {
    if (part.empty()) continue;
    fs::path exact = result / Utf8Of(part);
    std::error_code ec;
    if (!fs::exists(exact, ec) && fs::is_directory(result, ec)) {
      for (const auto& entry : fs::directory_iterator(result, ec)) {
        if (NamesEqual(WideOfUtf8(entry.path().filename().string()), part)) {
          exact = entry.path();
          break;
        }
      }
    }
    result = exact;
  }
  return result.string();
}

// Attributes of an existing file or folder at a host path.
DWORD AttributesOf(const std::string& hostPath) {
  std::error_code ec;
  if (fs::is_directory(hostPath, ec)) return FILE_ATTRIBUTE_DIRECTORY;
  std::lock_guard<std::mutex> guard(Fs().lock);
  auto it = Fs().attributes.find(hostPath);
  return it == Fs().attributes.end() ? FILE_ATTRIBUTE_ARCHIVE : it->second;
}

DWORD ErrorForMissing(const std::string& hostPath) {
  std::error_code ec;
  return fs::is_directory(fs::path(hostPath).parent_path(), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

class HostFile : public KernelObject {
 public:
  HostFile(int fd, std::wstring path, DWORD access) : fd_(fd), path_(std::move(path)), access_(access) {}
  ~HostFile() override { ::close(fd_); }
  std::string Describe() const override { return "file " + Utf8Of(path_); }
  int fd() const { return fd_; }

  BOOL Read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) override {
    if (!(access_ & (GENERIC_READ | GENERIC_ALL))) return Fail(ERROR_ACCESS_DENIED, done);
    if (overlapped) ::lseek(fd_, Offset(overlapped), SEEK_SET);
    ssize_t n = ::read(fd_, buffer, count);
    if (n < 0) return Fail(ERROR_READ_FAULT, done, overlapped);
    if (done) *done = static_cast<DWORD>(n);
    if (n == 0 && count > 0 && overlapped) {
      CompleteOverlapped(overlapped, ERROR_HANDLE_EOF, 0);
      SetLastError(ERROR_HANDLE_EOF);
      return FALSE;
    }
    CompleteOverlapped(overlapped, 0, static_cast<DWORD>(n));
    return TRUE;
  }

  BOOL Write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) override {
    if (!(access_ & (GENERIC_WRITE | GENERIC_ALL))) return Fail(ERROR_ACCESS_DENIED, done);
    if (overlapped) ::lseek(fd_, Offset(overlapped), SEEK_SET);
    ssize_t n = ::write(fd_, buffer, count);
    if (n < 0) return Fail(ERROR_WRITE_FAULT, done, overlapped);
    if (done) *done = static_cast<DWORD>(n);
    CompleteOverlapped(overlapped, 0, static_cast<DWORD>(n));
    return TRUE;
  }

 private:
  static off_t Offset(const OVERLAPPED* overlapped) {
    return static_cast<off_t>((static_cast<ULONGLONG>(overlapped->OffsetHigh) << 32) | overlapped->Offset);
  }
  static BOOL Fail(DWORD error, DWORD* done, OVERLAPPED* overlapped = nullptr) {
    if (done) *done = 0;
    CompleteOverlapped(overlapped, error, 0);
    SetLastError(error);
    return FALSE;
  }

  int fd_;
  std::wstring path_;
  DWORD access_;
};

}  // namespace

std::string HostPathOf(const std::wstring& windowsPath) {
  std::lock_guard<std::mutex> guard(Fs().lock);
  return HostPathLocked(FullPath(windowsPath, Fs().currentDirectory));
}

void WriteFile(const std::wstring& windowsPath, const std::string& bytes) {
  std::string path = HostPathOf(windowsPath);
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::wstring& windowsPath) {
  std::ifstream in(HostPathOf(windowsPath), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void SetAttributes(const std::wstring& windowsPath, DWORD attributes) {
  std::string path = HostPathOf(windowsPath);
  std::lock_guard<std::mutex> guard(Fs().lock);
  Fs().attributes[path] = attributes;
}

void SetModuleFileName(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(Fs().lock);
  Fs().modulePath = path;
}

void SetCurrentDirectory(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(Fs().lock);
  Fs().currentDirectory = FullPath(path, Fs().currentDirectory);
}

void RegisterDeviceOpener(DeviceOpener opener) {
  std::lock_guard<std::mutex> guard(Fs().lock);
  Fs().openers.push_back(std::move(opener));
}

// Used by the C runtime shim.
std::string HostPathForOpen(const wchar_t* name) { return name ? HostPathOf(name) : std::string(); }

}  // namespace host

using host::HostFile;

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
  HOST_ENTER("CreateFileW", INVALID_HANDLE_VALUE);
  if (!fileName || !*fileName) {
    SetLastError(fileName ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::wstring name = fileName;
  if (host::IsDevicePath(name)) {
    std::vector<host::DeviceOpener> openers;
    {
      std::lock_guard<std::mutex> guard(host::Fs().lock);
      openers = host::Fs().openers;
    }
    for (const host::DeviceOpener& opener : openers) {
      host::DeviceOpen opened = opener(name, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
      if (!opened.handled) continue;
      if (!opened.object) {
        SetLastError(opened.error ? opened.error : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      SetLastError(0);
      return host::NewHandle(opened.object);
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = host::HostPathOf(name);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::error_code ec;
  bool exists = fs::exists(path, ec);
  if (exists && fs::is_directory(path, ec)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING)) {
    SetLastError(host::ErrorForMissing(path));
    return INVALID_HANDLE_VALUE;
  }
  if (exists && creationDisposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && !fs::is_directory(fs::path(path).parent_path(), ec)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool reads = desiredAccess & (GENERIC_READ | GENERIC_ALL);
  bool writes = desiredAccess & (GENERIC_WRITE | GENERIC_ALL);
  if (exists && writes && (host::AttributesOf(path) & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int flags = writes ? (reads ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (!exists) flags |= O_CREAT;
  if (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING) flags |= O_TRUNC;
  int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool reportExisting = exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
  HANDLE handle = host::NewHandle(std::make_shared<HostFile>(fd, name, desiredAccess));
  SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : 0);
  return handle;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  HOST_ENTER("ReadFile", FALSE);
  auto object = host::ObjectOf(file);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!bytesRead && !overlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return object->Read(buffer, bytesToRead, bytesRead, overlapped);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped) {
  HOST_ENTER("WriteFile", FALSE);
  auto object = host::ObjectOf(file);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!bytesWritten && !overlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return object->Write(buffer, bytesToWrite, bytesWritten, overlapped);
}

namespace {

std::shared_ptr<HostFile> FileOf(HANDLE file) {
  auto object = host::ObjectAs<HostFile>(file);
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

bool Seek(const std::shared_ptr<HostFile>& file, LONGLONG distance, DWORD method, LONGLONG* position) {
  if (method > FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  off_t base = 0;
  if (method == FILE_CURRENT) base = ::lseek(file->fd(), 0, SEEK_CUR);
  if (method == FILE_END) base = ::lseek(file->fd(), 0, SEEK_END);
  LONGLONG target = base + distance;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  ::lseek(file->fd(), static_cast<off_t>(target), SEEK_SET);
  *position = target;
  return true;
}

}  // namespace

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
  HOST_ENTER("SetFilePointer", INVALID_SET_FILE_POINTER);
  auto object = FileOf(file);
  if (!object) return INVALID_SET_FILE_POINTER;
  LONGLONG move = distanceHigh ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                                       static_cast<DWORD>(distance))
                               : static_cast<LONGLONG>(distance);
  LONGLONG position;
  if (!Seek(object, move, moveMethod, &position)) return INVALID_SET_FILE_POINTER;
  if (distanceHigh) *distanceHigh = static_cast<LONG>(position >> 32);
  SetLastError(0);
  return static_cast<DWORD>(position & 0xFFFFFFFF);
}

BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer, DWORD moveMethod) {
  HOST_ENTER("SetFilePointerEx", FALSE);
  auto object = FileOf(file);
  if (!object) return FALSE;
  LONGLONG position;
  if (!Seek(object, distance.QuadPart, moveMethod, &position)) return FALSE;
  if (newPointer) newPointer->QuadPart = position;
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
  HOST_ENTER("GetFileSize", INVALID_FILE_SIZE);
  auto object = FileOf(file);
  if (!object) return INVALID_FILE_SIZE;
  struct stat info {};
  ::fstat(object->fd(), &info);
  ULONGLONG size = static_cast<ULONGLONG>(info.st_size);
  if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(0);
  return static_cast<DWORD>(size & 0xFFFFFFFF);
}

BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
  HOST_ENTER("GetFileSizeEx", FALSE);
  auto object = FileOf(file);
  if (!object) return FALSE;
  struct stat info {};
  ::fstat(object->fd(), &info);
  size->QuadPart = static_cast<LONGLONG>(info.st_size);
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName) {
  HOST_ENTER("GetFileAttributesW", INVALID_FILE_ATTRIBUTES);
  std::string path = fileName ? host::HostPathOf(fileName) : std::string();
  std::error_code ec;
  if (path.empty() || !fs::exists(path, ec)) {
    SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : host::ErrorForMissing(path));
    return INVALID_FILE_ATTRIBUTES;
  }
  return host::AttributesOf(path);
}

BOOL WINAPI SetFileAttributesW(LPCWSTR fileName, DWORD attributes) {
  HOST_ENTER("SetFileAttributesW", FALSE);
  std::string path = fileName ? host::HostPathOf(fileName) : std::string();
  std::error_code ec;
  if (path.empty() || !fs::exists(path, ec)) {
    SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : host::ErrorForMissing(path));
    return FALSE;
  }
  if (fs::is_directory(path, ec)) return TRUE;
  // FILE_ATTRIBUTE_NORMAL stands alone; it reads back as itself.
  const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL;
  DWORD kept = attributes & settable;
  if (kept != FILE_ATTRIBUTE_NORMAL) kept &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
  if (kept == 0) kept = FILE_ATTRIBUTE_NORMAL;
  std::lock_guard<std::mutex> guard(host::Fs().lock);
  host::Fs().attributes[path] = kept;
  return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR fileName) {
  HOST_ENTER("DeleteFileW", FALSE);
  std::string path = fileName ? host::HostPathOf(fileName) : std::string();
  std::error_code ec;
  if (path.empty() || !fs::exists(path, ec)) {
    SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : host::ErrorForMissing(path));
    return FALSE;
  }
  if (fs::is_directory(path, ec) || (host::AttributesOf(path) & FILE_ATTRIBUTE_READONLY) || !fs::remove(path, ec)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
  HOST_ENTER("CreateDirectoryW", FALSE);
  std::string path = pathName && *pathName ? host::HostPathOf(pathName) : std::string();
  std::error_code ec;
  if (path.empty() || !fs::is_directory(fs::path(path).parent_path(), ec)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (fs::exists(path, ec)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (!fs::create_directory(path, ec)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR pathName) {
  HOST_ENTER("RemoveDirectoryW", FALSE);
  std::string path = pathName && *pathName ? host::HostPathOf(pathName) : std::string();
  std::error_code ec;
  if (path.empty() || !fs::exists(path, ec)) {
    SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : host::ErrorForMissing(path));
    return FALSE;
  }
  if (!fs::is_directory(path, ec)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (!fs::is_empty(path, ec)) {
    SetLastError(ERROR_DIR_NOT_EMPTY);
    return FALSE;
  }
  if (!fs::remove(path, ec)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
  HOST_ENTER("GetTempPathW", 0);
  static const wchar_t kTemp[] = L"C:\\Windows\\Temp\\";
  const DWORD length = static_cast<DWORD>(std::wcslen(kTemp));
  // Too small: the size needed, terminator included; otherwise the length copied.
  if (!buffer || bufferLength < length + 1) return length + 1;
  std::wmemcpy(buffer, kTemp, length + 1);
  return length;
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  HOST_ENTER("GetModuleFileNameW", 0);
  if (module != nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  std::wstring path;
  {
    std::lock_guard<std::mutex> guard(host::Fs().lock);
    path = host::Fs().modulePath;
  }
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // A path that does not fit is cut, terminated, and reported with the buffer's size.
  if (path.size() + 1 > size) {
    std::wmemcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = L'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::wmemcpy(fileName, path.c_str(), path.size() + 1);
  SetLastError(0);
  return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart) {
  HOST_ENTER("GetFullPathNameW", 0);
  if (!fileName || !*fileName) {
    SetLastError(fileName ? ERROR_INVALID_NAME : ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::wstring full;
  {
    std::lock_guard<std::mutex> guard(host::Fs().lock);
    full = host::FullPath(fileName, host::Fs().currentDirectory);
  }
  if (bufferLength < full.size() + 1) return static_cast<DWORD>(full.size() + 1);
  std::wmemcpy(buffer, full.c_str(), full.size() + 1);
  if (filePart) {
    size_t slash = full.find_last_of(L'\\');
    *filePart = (slash == std::wstring::npos || slash + 1 == full.size()) ? nullptr : buffer + slash + 1;
  }
  return static_cast<DWORD>(full.size());
}

DWORD WINAPI GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer) {
  HOST_ENTER("GetCurrentDirectoryW", 0);
  std::wstring current;
  {
    std::lock_guard<std::mutex> guard(host::Fs().lock);
    current = host::Fs().currentDirectory;
  }
  if (current.size() > 3 && current.back() == L'\\') current.pop_back();
  if (bufferLength < current.size() + 1) return static_cast<DWORD>(current.size() + 1);
  std::wmemcpy(buffer, current.c_str(), current.size() + 1);
  return static_cast<DWORD>(current.size());
}
