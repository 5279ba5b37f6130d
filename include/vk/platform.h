// The one header that knows which target it is built for.
//
// vkdiag's library code is written against the ANSI Win32 API. On Windows
// this header pulls in the system headers; elsewhere it declares the subset
// of Win32 that the library calls, with Win32's names, types, values and
// signatures, implemented by the POSIX platform layer (src/platform/posix).
#ifndef VK_PLATFORM_H
#define VK_PLATFORM_H

// VK_PRINTF_FORMAT(formatIndex, firstArgument), placed before a function's
// declaration, has the compiler check every call's printf-style format
// against its arguments. Parameters count from 1, a member function's
// implicit this included; firstArgument is 0 for a function that takes a
// va_list. On MinGW the formatting is done by the Microsoft runtime
// (_vsnprintf_s, wvsprintfA), so formats are checked against its
// conversions (no %zu there). Empty where the compiler has no such check.
#if defined(__MINGW32__)
#define VK_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(ms_printf, formatIndex, firstArgument)))
#elif defined(__GNUC__)
#define VK_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define VK_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

// 1 where an always-inlined variadic function can hand its arguments on
// unchanged (GCC's __builtin_va_arg_pack), so that it costs no call.
#if defined(__GNUC__) && !defined(__clang__)
#define VK_INLINE_VARIADIC_FORWARDING 1
#else
#define VK_INLINE_VARIADIC_FORWARDING 0
#endif

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlwapi.h>
#include <imagehlp.h>
#include <stdarg.h>
#include <stdio.h>

#else  // POSIX

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define VK_PLATFORM_API extern "C"

// Basic types. DWORD and LONG are 32-bit on every target, as on Windows.
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int32_t HRESULT;
typedef DWORD LCID;
typedef DWORD LCTYPE;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef char CHAR;
typedef char16_t WCHAR;  // UTF-16, as on Windows (wchar_t is 32-bit here)
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* LPCWCH;
typedef const char* LPCCH;
typedef BOOL* LPBOOL;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef BYTE* LPBYTE;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef void* PSID;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;
typedef FILETIME* LPFILETIME;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

// Error codes.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_HANDLE_EOF 38L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_BAD_NETPATH 53L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_FILE_EXISTS 80L
#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_DISK_FULL 112L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_WORK_DONE 235L
#define WAIT_TIMEOUT 258L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NOACCESS 998L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_REGISTRY_CORRUPT 1015L
#define ERROR_REGISTRY_IO_FAILED 1016L
#define ERROR_KEY_DELETED 1018L
#define ERROR_KEY_HAS_CHILDREN 1020L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#define ERROR_UNSUPPORTED_TYPE 1630L
#define ERROR_INVALID_DATATYPE 1804L
#define ERROR_INVALID_SID 1337L
#define ERROR_EVENTLOG_FILE_CORRUPT 1500L
#define ERROR_EVENTLOG_CANT_START 1501L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_FILE_INVALID 1006L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define RPC_S_SERVER_UNAVAILABLE 1722L

#define S_OK ((HRESULT)0)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)

// Files.
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define DELETE 0x00010000UL
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define FILE_SHARE_DELETE 0x00000004UL
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// Locale and time formats.
#define LOCALE_USER_DEFAULT 0x0400UL
#define LOCALE_SYSTEM_DEFAULT 0x0800UL
#define DATE_SHORTDATE 0x00000001UL

// _vsnprintf_s count that asks for silent truncation.
#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif

// Registry.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define READ_CONTROL 0x00020000L
#define SYNCHRONIZE 0x00100000L
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L
#define REG_NOTIFY_CHANGE_NAME 0x00000001L
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x00000002L
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004L
#define REG_NOTIFY_CHANGE_SECURITY 0x00000008L

// Waiting.
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

// Messages.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

// Locales.
#define LOCALE_SABBREVLANGNAME 0x00000003
#define LOCALE_NOUSEROVERRIDE 0x80000000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))

// Code pages.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

// Modules.
#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002

// Atomic counts, with the Win32 names.
inline LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

// Event log.
#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010
#define EVENTLOG_SEQUENTIAL_READ 0x0001
#define EVENTLOG_SEEK_READ 0x0002
#define EVENTLOG_FORWARDS_READ 0x0004
#define EVENTLOG_BACKWARDS_READ 0x0008

struct EVENTLOGRECORD {
  DWORD Length;
  DWORD Reserved;
  DWORD RecordNumber;
  DWORD TimeGenerated;
  DWORD TimeWritten;
  DWORD EventID;
  WORD EventType;
  WORD NumStrings;
  WORD EventCategory;
  WORD ReservedFlags;
  DWORD ClosingRecordNumber;
  DWORD StringOffset;
  DWORD UserSidLength;
  DWORD UserSidOffset;
  DWORD DataLength;
  DWORD DataOffset;
};
typedef EVENTLOGRECORD* PEVENTLOGRECORD;

// Security identity.
#define TOKEN_QUERY 0x0008
enum TOKEN_INFORMATION_CLASS { TokenUser = 1 };
struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};
typedef HANDLE* PHANDLE;

// Error state (errors.cpp).
VK_PLATFORM_API DWORD WINAPI GetLastError(void);
VK_PLATFORM_API void WINAPI SetLastError(DWORD dwErrCode);

// Handles (handles.cpp).
VK_PLATFORM_API BOOL WINAPI CloseHandle(HANDLE hObject);

// Files (files.cpp).
VK_PLATFORM_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                          HANDLE hTemplateFile);
VK_PLATFORM_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
VK_PLATFORM_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
VK_PLATFORM_API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                            DWORD dwMoveMethod);
VK_PLATFORM_API BOOL WINAPI SetEndOfFile(HANDLE hFile);
VK_PLATFORM_API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
VK_PLATFORM_API BOOL WINAPI FlushFileBuffers(HANDLE hFile);
VK_PLATFORM_API BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
VK_PLATFORM_API BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists);
VK_PLATFORM_API DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
VK_PLATFORM_API UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                                             LPSTR lpTempFileName);

// Paths (paths.cpp). The separator is '/' on POSIX.
VK_PLATFORM_API LPSTR WINAPI PathFindFileNameA(LPCSTR pszPath);
VK_PLATFORM_API LPSTR WINAPI PathFindExtensionA(LPCSTR pszPath);
VK_PLATFORM_API LPSTR WINAPI PathAddBackslashA(LPSTR pszPath);
VK_PLATFORM_API BOOL WINAPI PathFileExistsA(LPCSTR pszPath);
VK_PLATFORM_API BOOL WINAPI PathIsRelativeA(LPCSTR pszPath);
VK_PLATFORM_API BOOL WINAPI MakeSureDirectoryPathExists(LPCSTR DirPath);

// Bounded text (text.cpp).
VK_PLATFORM_API LPSTR WINAPI StrCatBuffA(LPSTR pszDest, LPCSTR pszSrc, int cchDestBuffSize);
VK_PLATFORM_API LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);

// Registry (registry_*.cpp), on the store in $VK_SYSTEM_ROOT/registry.db.
VK_PLATFORM_API LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                          PHKEY phkResult);
VK_PLATFORM_API LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                            DWORD dwOptions, REGSAM samDesired,
                                            const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                            LPDWORD lpdwDisposition);
VK_PLATFORM_API LONG WINAPI RegCloseKey(HKEY hKey);
VK_PLATFORM_API LONG WINAPI RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);
VK_PLATFORM_API LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                             LPBYTE lpData, LPDWORD lpcbData);
VK_PLATFORM_API LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                           const BYTE* lpData, DWORD cbData);
VK_PLATFORM_API LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
VK_PLATFORM_API LONG WINAPI RegFlushKey(HKEY hKey);
VK_PLATFORM_API LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                          LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                          PFILETIME lpftLastWriteTime);
VK_PLATFORM_API LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
VK_PLATFORM_API LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                             LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                             LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
VK_PLATFORM_API LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
VK_PLATFORM_API LONG WINAPI SHDeleteKeyA(HKEY hKey, LPCSTR pszSubKey);
VK_PLATFORM_API LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                                                    HANDLE hEvent, BOOL fAsynchronous);

// Events and waiting (events.cpp).
VK_PLATFORM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                           BOOL bInitialState, LPCSTR lpName);
VK_PLATFORM_API BOOL WINAPI SetEvent(HANDLE hEvent);
VK_PLATFORM_API BOOL WINAPI ResetEvent(HANDLE hEvent);
VK_PLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// System messages (messages.cpp).
VK_PLATFORM_API DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
VK_PLATFORM_API HLOCAL WINAPI LocalFree(HLOCAL hMem);

// The debugger output channel (debug_output.cpp).
VK_PLATFORM_API void WINAPI OutputDebugStringA(LPCSTR lpOutputString);
VK_PLATFORM_API int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list arglist);
VK_PLATFORM_API DWORD WINAPI GetCurrentProcessId(void);
VK_PLATFORM_API DWORD WINAPI GetCurrentThreadId(void);

// Code pages (code_pages.cpp): the ANSI code page is UTF-8.
VK_PLATFORM_API UINT WINAPI GetACP(void);
VK_PLATFORM_API UINT WINAPI GetOEMCP(void);
VK_PLATFORM_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                                               LPWSTR lpWideCharStr, int cchWideChar);
VK_PLATFORM_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                                               LPBOOL lpUsedDefaultChar);

// Locales (locale.cpp) and modules (modules.cpp).
VK_PLATFORM_API int WINAPI GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData);
VK_PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
VK_PLATFORM_API HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
VK_PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE hLibModule);
VK_PLATFORM_API BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);

// Event log (eventlog_*.cpp), on the store in $VK_SYSTEM_ROOT/eventlog.db.
VK_PLATFORM_API HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
VK_PLATFORM_API BOOL WINAPI DeregisterEventSource(HANDLE hEventLog);
VK_PLATFORM_API BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
                                         WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings, LPVOID lpRawData);
VK_PLATFORM_API HANDLE WINAPI OpenEventLogA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
VK_PLATFORM_API BOOL WINAPI ReadEventLogA(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset, LPVOID lpBuffer,
                                          DWORD nNumberOfBytesToRead, DWORD* pnBytesRead,
                                          DWORD* pnMinNumberOfBytesNeeded);
VK_PLATFORM_API BOOL WINAPI GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords);
VK_PLATFORM_API BOOL WINAPI GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord);
VK_PLATFORM_API BOOL WINAPI ClearEventLogA(HANDLE hEventLog, LPCSTR lpBackupFileName);
VK_PLATFORM_API BOOL WINAPI CloseEventLog(HANDLE hEventLog);

// Identity (security.cpp): the user's SID is S-1-22-1-<uid>.
VK_PLATFORM_API HANDLE WINAPI GetCurrentProcess(void);
VK_PLATFORM_API BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
VK_PLATFORM_API BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                               LPVOID TokenInformation, DWORD TokenInformationLength,
                                               PDWORD ReturnLength);
VK_PLATFORM_API DWORD WINAPI GetLengthSid(PSID pSid);
VK_PLATFORM_API BOOL WINAPI CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid);
VK_PLATFORM_API BOOL WINAPI IsValidSid(PSID pSid);

// Searching for files (search_path.cpp).
VK_PLATFORM_API DWORD WINAPI SearchPathA(LPCSTR lpPath, LPCSTR lpFileName, LPCSTR lpExtension, DWORD nBufferLength,
                                         LPSTR lpBuffer, LPSTR* lpFilePart);
VK_PLATFORM_API UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);

// Process, time and formatting (process.cpp, time_format.cpp, format.cpp).
VK_PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
VK_PLATFORM_API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
VK_PLATFORM_API int WINAPI GetDateFormatA(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCSTR lpFormat,
                                          LPSTR lpDateStr, int cchDate);
VK_PLATFORM_API int WINAPI GetTimeFormatA(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCSTR lpFormat,
                                          LPSTR lpTimeStr, int cchTime);
VK_PLATFORM_API void WINAPI Sleep(DWORD dwMilliseconds);
VK_PLATFORM_API DWORD WINAPI GetTickCount(void);
VK_PLATFORM_API int _vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format,
                                 va_list argptr);

#endif  // _WIN32

#endif  // VK_PLATFORM_H
