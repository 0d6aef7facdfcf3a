#include "File.h"

CFileException::Cause CFileException::CauseFromOsError(DWORD osError) {
  switch (osError) {
    case ERROR_SUCCESS: return none;
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: return fileNotFound;
    case ERROR_ACCESS_DENIED: return accessDenied;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return sharingViolation;
    case ERROR_HANDLE_EOF: return endOfFile;
    case ERROR_CRC: case ERROR_READ_FAULT: case ERROR_GEN_FAILURE: return hardIO;
    default: return genericException;
  }
}

CFile::~CFile() { Close(); }

BOOL CFile::Open(const wchar_t* fileName, UINT flags, CFileException* error) {
  Close();
  DWORD share = 0;
  if (flags & shareDenyWrite) share = FILE_SHARE_READ;
  if (flags & shareDenyNone) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const HANDLE file = ::CreateFileW(fileName, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD osError = ::GetLastError();
    if (error) *error = CFileException(CFileException::CauseFromOsError(osError), osError, fileName);
    return FALSE;
  }
  m_hFile = file;
  m_strFileName = fileName;
  return TRUE;
}

void CFile::ThrowLastError() const {
  const DWORD osError = ::GetLastError();
  throw CFileException(CFileException::CauseFromOsError(osError), osError, m_strFileName);
}

ULONGLONG CFile::GetLength() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(m_hFile, &size)) ThrowLastError();
  return static_cast<ULONGLONG>(size.QuadPart);
}

UINT CFile::Read(void* buffer, UINT count) {
  DWORD read = 0;
  if (!::ReadFile(m_hFile, buffer, count, &read, nullptr)) ThrowLastError();
  return read;
}

void CFile::Close() {
  if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
}
