// Reading a file: open an existing file, its length, read, close. A file
// that cannot be opened is reported by Open's result; an error while the
// open file is measured or read is thrown as CFileException.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <utility>

class CFileException : public std::exception {
 public:
  enum Cause { none, genericException, fileNotFound, accessDenied, sharingViolation, hardIO, endOfFile };

  CFileException(Cause cause, DWORD osError, std::wstring fileName)
      : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}
  const char* what() const noexcept override { return "file error"; }

  // The cause for a Win32 error code.
  static Cause CauseFromOsError(DWORD osError);

  Cause m_cause;
  DWORD m_lOsError;
  std::wstring m_strFileName;
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,        // the only access mode this layer offers
    shareExclusive = 0x0010,  // nobody else may open the file meanwhile
    shareDenyWrite = 0x0020,  // others may read the file meanwhile
    shareDenyNone = 0x0040,   // others may read and write it meanwhile
  };

  CFile() = default;
  ~CFile();  // closes the file if still open
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens an existing file for reading. FALSE when it cannot be opened; the
  // reason goes to error when one is given.
  BOOL Open(const wchar_t* fileName, UINT flags, CFileException* error = nullptr);
  ULONGLONG GetLength() const;             // throws CFileException
  UINT Read(void* buffer, UINT count);     // bytes read, 0 at the end; throws CFileException
  void Close();

  HANDLE m_hFile = INVALID_HANDLE_VALUE;

 private:
  [[noreturn]] void ThrowLastError() const;
  std::wstring m_strFileName;
};
