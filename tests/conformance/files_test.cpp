// Files and folders: failed opens, creation dispositions, size, pointer and attributes.
#include <cwchar>
#include <string>

#include "conformance.h"

namespace {

using conformance::kPoison;

class Files : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.created()) << "no temporary folder, error " << GetLastError(); }

  static HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  conformance::TempFolder temp_;
};

TEST_F(Files, FailedOpenTellsMissingFileFromMissingPath) {
  std::wstring inFolder = temp_.path() + L"\\missing.bin";
  std::wstring underMissingFolder = temp_.path() + L"\\no such folder\\missing.bin";
  struct Case {
    const std::wstring& path;
    DWORD disposition;
    DWORD error;
  } cases[] = {
      {inFolder, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {inFolder, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND},
      {underMissingFolder, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {underMissingFolder, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(kPoison);
    EXPECT_EQ(Open(c.path, GENERIC_READ | GENERIC_WRITE, c.disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error) << "disposition " << c.disposition;
  }

  // An empty name, a drive that does not exist, a device nobody provides.
  struct Other {
    const wchar_t* path;
    DWORD error;
  } others[] = {{L"", ERROR_PATH_NOT_FOUND},
                {L"Q:\\missing\\x.bin", ERROR_PATH_NOT_FOUND},
                {L"\\\\.\\ConformanceNoSuchDevice", ERROR_FILE_NOT_FOUND}};
  for (const Other& other : others) {
    SetLastError(kPoison);
    EXPECT_EQ(Open(other.path, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), other.error) << "path \"" << std::string(other.path, other.path + wcslen(other.path)) << "\"";
  }

  SetLastError(kPoison);
  EXPECT_EQ(GetFileAttributesW(inFolder.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(kPoison);
  EXPECT_EQ(GetFileAttributesW(underMissingFolder.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  SetLastError(kPoison);
  EXPECT_FALSE(DeleteFileW(inFolder.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, CreationDispositionsReportAnExistingFile) {
  std::wstring path = temp_.File(L"image.bin");

  SetLastError(kPoison);
  HANDLE file = Open(path, GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 0u);  // a new file: the last error is cleared
  EXPECT_TRUE(CloseHandle(file));

  SetLastError(kPoison);
  EXPECT_EQ(Open(path, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  // Success on an existing file, told by ERROR_ALREADY_EXISTS.
  for (DWORD disposition : {static_cast<DWORD>(CREATE_ALWAYS), static_cast<DWORD>(OPEN_ALWAYS)}) {
    SetLastError(kPoison);
    file = Open(path, GENERIC_WRITE, disposition);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "disposition " << disposition;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "disposition " << disposition;
    EXPECT_TRUE(CloseHandle(file));
  }

  SetLastError(kPoison);
  file = Open(path, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));

  // A closed handle is no handle any more.
  SetLastError(kPoison);
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, NamesMatchWithoutRegardToCase) {
  ASSERT_TRUE(conformance::WriteWholeFile(temp_.File(L"TVQ5530An.bin"), "image"));
  HANDLE file = Open(temp_.path() + L"\\tvq5530AN.BIN", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(file, nullptr), 5u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_NE(GetFileAttributesW((temp_.path() + L"\\TVQ5530AN.bin").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, AccessIsCheckedAgainstTheOpenMode) {
  std::wstring path = temp_.File(L"a.bin");
  ASSERT_TRUE(conformance::WriteWholeFile(path, "abc"));
  char bytes[4];
  DWORD done = kPoison;

  HANDLE reader = Open(path, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  SetLastError(kPoison);
  EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(CloseHandle(reader));

  HANDLE writer = Open(path, GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  done = kPoison;
  SetLastError(kPoison);
  EXPECT_FALSE(ReadFile(writer, bytes, sizeof bytes, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(CloseHandle(writer));

  SetLastError(kPoison);
  EXPECT_EQ(Open(path, GENERIC_READ, 0), INVALID_HANDLE_VALUE);  // no such creation disposition
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Files, FolderCannotBeOpenedOrDeletedAsAFile) {
  std::wstring folder = temp_.Folder(L"sub");
  SetLastError(kPoison);
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));

  SetLastError(kPoison);
  EXPECT_FALSE(CreateDirectoryW(folder.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  SetLastError(kPoison);
  EXPECT_FALSE(CreateDirectoryW((temp_.path() + L"\\none\\sub").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  SetLastError(kPoison);
  EXPECT_EQ(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open.
  SetLastError(kPoison);
  EXPECT_EQ(Open(folder, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(kPoison);
  EXPECT_FALSE(DeleteFileW(folder.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // A folder with a file in it stays.
  std::wstring inside = folder + L"\\f.txt";
  ASSERT_TRUE(conformance::WriteWholeFile(inside, "x"));
  SetLastError(kPoison);
  EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_TRUE(DeleteFileW(inside.c_str()));
  EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
  SetLastError(kPoison);
  EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, NewFileHasTheArchiveAttribute) {
  std::wstring path = temp_.File(L"a.bin");
  ASSERT_TRUE(conformance::WriteWholeFile(path, "abc"));
  SetLastError(kPoison);
  EXPECT_EQ(GetFileAttributesW(path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetLastError(), kPoison);
}

TEST_F(Files, ReadOnlyAttributeIsSetAndCleared) {
  std::wstring path = temp_.File(L"a.bin");
  ASSERT_TRUE(conformance::WriteWholeFile(path, "abc"));
  SetLastError(kPoison);
  EXPECT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetLastError(), kPoison);
  EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  // A read-only file is not deleted; cleared again, it is.
  SetLastError(kPoison);
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(DeleteFileW(path.c_str()));

  SetLastError(kPoison);
  EXPECT_FALSE(SetFileAttributesW((temp_.path() + L"\\missing.bin").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(kPoison);
  EXPECT_FALSE(SetFileAttributesW((temp_.path() + L"\\no such folder\\missing.bin").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Files, AttributesReadBackAsSet) {
  // Documented: the attributes set replace the file's (the archive attribute too), and
  // FILE_ATTRIBUTE_NORMAL, valid only alone, is what a file with no other attribute reports.
  SKIP_WHERE_WINE_DIFFERS("a file keeps FILE_ATTRIBUTE_ARCHIVE whatever is set");
  std::wstring path = temp_.File(L"a.bin");
  ASSERT_TRUE(conformance::WriteWholeFile(path, "abc"));
  struct Case {
    DWORD set;
    DWORD read;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
      {0, FILE_ATTRIBUTE_NORMAL},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SetFileAttributesW(path.c_str(), c.set)) << "set 0x" << std::hex << c.set;
    EXPECT_EQ(GetFileAttributesW(path.c_str()), c.read) << "set 0x" << std::hex << c.set;
  }
}

TEST_F(Files, ReadOnlyFileRefusesWriting) {
  SKIP_WHERE_WINE_DIFFERS("Wine keeps read-only as Unix permissions, which do not bind the root user");
  std::wstring path = temp_.File(L"a.bin");
  ASSERT_TRUE(conformance::WriteWholeFile(path, "abc"));
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  for (DWORD disposition : {static_cast<DWORD>(OPEN_EXISTING), static_cast<DWORD>(CREATE_ALWAYS)}) {
    SetLastError(kPoison);
    HANDLE file = Open(path, GENERIC_WRITE, disposition);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE) << "disposition " << disposition;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "disposition " << disposition;
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
    }
  }
  HANDLE reader = Open(path, GENERIC_READ, OPEN_EXISTING);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) {
    EXPECT_TRUE(CloseHandle(reader));
  }
  // Cleared again, so that the folder can be removed.
  EXPECT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
}

TEST_F(Files, SizeAndPointerOfAnOpenFile) {
  std::wstring path = temp_.File(L"image.bin");
  ASSERT_TRUE(conformance::WriteWholeFile(path, std::string(1000, 'x')));
  HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);

  DWORD high = kPoison;
  EXPECT_EQ(GetFileSize(file, &high), 1000u);
  EXPECT_EQ(high, 0u);
  LARGE_INTEGER size;
  size.QuadPart = -1;
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 1000);

  EXPECT_EQ(SetFilePointer(file, -16, nullptr, FILE_END), 984u);
  EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_CURRENT), 990u);
  char bytes[32];
  DWORD read = kPoison;
  EXPECT_TRUE(ReadFile(file, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(read, 10u);
  // At the end a synchronous read succeeds with nothing read.
  read = kPoison;
  EXPECT_TRUE(ReadFile(file, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(read, 0u);
  // Past the end is allowed, before the start is not.
  EXPECT_EQ(SetFilePointer(file, 5000, nullptr, FILE_BEGIN), 5000u);
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 5000u);  // unmoved by the failure
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // Documented: a position whose low part is 0xFFFFFFFF is told from a failure by NO_ERROR.
  LONG moveHigh = 0;
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(file, -1, &moveHigh, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(moveHigh, 0);
  LARGE_INTEGER where;
  where.QuadPart = -1;
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  EXPECT_TRUE(SetFilePointerEx(file, zero, &where, FILE_CURRENT));
  EXPECT_EQ(where.QuadPart, 0xFFFFFFFFll);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(Files, OverlappedTransferOnASynchronousFileCompletesInTheCall) {
  std::wstring path = temp_.File(L"data.bin");
  HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);

  OVERLAPPED control = {};
  control.hEvent = event;
  DWORD done = kPoison;
  EXPECT_TRUE(WriteFile(file, "0123456789", 10, &done, &control));
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);  // the control block's event is set
  done = kPoison;
  EXPECT_TRUE(GetOverlappedResult(file, &control, &done, FALSE));
  EXPECT_EQ(done, 10u);

  // The control block's offset, not the file pointer, says where a transfer starts.
  control = {};
  control.hEvent = event;
  control.Offset = 4;
  char bytes[16] = {};
  done = kPoison;
  EXPECT_TRUE(ReadFile(file, bytes, sizeof bytes, &done, &control));
  EXPECT_EQ(std::string(bytes, done), "456789");

  // At the end an overlapped read fails with ERROR_HANDLE_EOF, and so does its result.
  control = {};
  control.hEvent = event;
  control.Offset = 10;
  SetLastError(kPoison);
  EXPECT_FALSE(ReadFile(file, bytes, sizeof bytes, &done, &control));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  SetLastError(kPoison);
  EXPECT_FALSE(GetOverlappedResult(file, &control, &done, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_EQ(done, 0u);

  EXPECT_TRUE(CloseHandle(event));
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(Files, InvalidHandleIsRefusedBySizeAndPointerCalls) {
  HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FF0));
  DWORD high = kPoison;
  SetLastError(kPoison);
  EXPECT_EQ(GetFileSize(bogus, &high), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kPoison);
  EXPECT_EQ(SetFilePointer(bogus, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  for (HANDLE handle : {bogus, static_cast<HANDLE>(nullptr)}) {
    SetLastError(kPoison);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
}

}  // namespace
