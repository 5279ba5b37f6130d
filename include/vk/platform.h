// The one header that knows which target it is built for.
//
// vkdiag's library code is written against the ANSI Win32 API. On Windows
// this header pulls in the system headers. Elsewhere it declares the subset
// of Win32 that the library calls, with Win32's names, types, values and
// signatures, implemented by the POSIX platform layer (src/platform/posix),
// in the namespace Vk::Win32 and without a single macro of Win32's: a
// program that includes a vkdiag header keeps DELETE, TRUE or INFINITE for
// its own use, and one that wants the Win32 names says
// `using namespace Vk::Win32;`, which compiles on every target.
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

// On Windows the names are <windows.h>'s own; Vk::Win32 names the types the
// library's headers use outside namespace Vk, so that the same code reads
// the same on every target.
namespace Vk {
namespace Win32 {
using ::BOOL;
using ::BYTE;
using ::DWORD;
using ::FILETIME;
using ::HANDLE;
using ::HKEY;
using ::HMODULE;
using ::HRESULT;
using ::LCID;
using ::LONG;
using ::LONG_PTR;
using ::PSID;
using ::REGSAM;
using ::UINT;
using ::WORD;
}  // namespace Win32
using namespace Win32;
}  // namespace Vk

#else  // POSIX

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Everything below is Win32's, kept in Vk::Win32 so that a program that
// includes a vkdiag header gets none of these names (no macros at all):
// code inside namespace Vk sees them, and so does code that says
// `using namespace Vk::Win32;`, which compiles on every target.
namespace Vk {
namespace Win32 {

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

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr int MAX_PATH = 260;

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

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
constexpr DWORD INVALID_FILE_SIZE = static_cast<DWORD>(0xFFFFFFFF);
constexpr DWORD INVALID_SET_FILE_POINTER = static_cast<DWORD>(-1);

// Error codes.
constexpr long ERROR_SUCCESS = 0L;
constexpr long NO_ERROR = 0L;
constexpr long ERROR_INVALID_FUNCTION = 1L;
constexpr long ERROR_FILE_NOT_FOUND = 2L;
constexpr long ERROR_PATH_NOT_FOUND = 3L;
constexpr long ERROR_TOO_MANY_OPEN_FILES = 4L;
constexpr long ERROR_ACCESS_DENIED = 5L;
constexpr long ERROR_INVALID_HANDLE = 6L;
constexpr long ERROR_NOT_ENOUGH_MEMORY = 8L;
constexpr long ERROR_INVALID_DATA = 13L;
constexpr long ERROR_OUTOFMEMORY = 14L;
constexpr long ERROR_NOT_SAME_DEVICE = 17L;
constexpr long ERROR_WRITE_FAULT = 29L;
constexpr long ERROR_READ_FAULT = 30L;
constexpr long ERROR_GEN_FAILURE = 31L;
constexpr long ERROR_SHARING_VIOLATION = 32L;
constexpr long ERROR_LOCK_VIOLATION = 33L;
constexpr long ERROR_HANDLE_EOF = 38L;
constexpr long ERROR_HANDLE_DISK_FULL = 39L;
constexpr long ERROR_NOT_SUPPORTED = 50L;
constexpr long ERROR_BAD_NETPATH = 53L;
constexpr long ERROR_BAD_PATHNAME = 161L;
constexpr long ERROR_FILE_EXISTS = 80L;
constexpr long ERROR_BUFFER_OVERFLOW = 111L;
constexpr long ERROR_INVALID_PARAMETER = 87L;
constexpr long ERROR_BROKEN_PIPE = 109L;
constexpr long ERROR_DISK_FULL = 112L;
constexpr long ERROR_CALL_NOT_IMPLEMENTED = 120L;
constexpr long ERROR_INSUFFICIENT_BUFFER = 122L;
constexpr long ERROR_INVALID_NAME = 123L;
constexpr long ERROR_MOD_NOT_FOUND = 126L;
constexpr long ERROR_BAD_EXE_FORMAT = 193L;
constexpr long ERROR_NEGATIVE_SEEK = 131L;
constexpr long ERROR_DIR_NOT_EMPTY = 145L;
constexpr long ERROR_BUSY = 170L;
constexpr long ERROR_ALREADY_EXISTS = 183L;
constexpr long ERROR_FILENAME_EXCED_RANGE = 206L;
constexpr long ERROR_MORE_DATA = 234L;
constexpr long ERROR_NO_WORK_DONE = 235L;
constexpr long WAIT_TIMEOUT = 258L;
constexpr long ERROR_NO_MORE_ITEMS = 259L;
constexpr long ERROR_NOACCESS = 998L;
constexpr long ERROR_BADDB = 1009L;
constexpr long ERROR_BADKEY = 1010L;
constexpr long ERROR_CANTOPEN = 1011L;
constexpr long ERROR_CANTREAD = 1012L;
constexpr long ERROR_CANTWRITE = 1013L;
constexpr long ERROR_REGISTRY_CORRUPT = 1015L;
constexpr long ERROR_REGISTRY_IO_FAILED = 1016L;
constexpr long ERROR_KEY_DELETED = 1018L;
constexpr long ERROR_KEY_HAS_CHILDREN = 1020L;
constexpr long ERROR_CHILD_MUST_BE_VOLATILE = 1021L;
constexpr long ERROR_RESOURCE_LANG_NOT_FOUND = 1815L;
constexpr long ERROR_UNSUPPORTED_TYPE = 1630L;
constexpr long ERROR_INVALID_DATATYPE = 1804L;
constexpr long ERROR_INVALID_SID = 1337L;
constexpr long ERROR_EVENTLOG_FILE_CORRUPT = 1500L;
constexpr long ERROR_EVENTLOG_CANT_START = 1501L;
constexpr long ERROR_MR_MID_NOT_FOUND = 317L;
constexpr long ERROR_INVALID_FLAGS = 1004L;
constexpr long ERROR_FILE_INVALID = 1006L;
constexpr long ERROR_NO_UNICODE_TRANSLATION = 1113L;
constexpr long RPC_S_SERVER_UNAVAILABLE = 1722L;

constexpr HRESULT S_OK = static_cast<HRESULT>(0);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003L);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000EL);
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

// Files.
constexpr unsigned long GENERIC_READ = 0x80000000UL;
constexpr unsigned long GENERIC_WRITE = 0x40000000UL;
constexpr unsigned long GENERIC_EXECUTE = 0x20000000UL;
constexpr unsigned long GENERIC_ALL = 0x10000000UL;
constexpr unsigned long DELETE = 0x00010000UL;
constexpr unsigned long FILE_READ_DATA = 0x00000001UL;
constexpr unsigned long FILE_WRITE_DATA = 0x00000002UL;
constexpr unsigned long FILE_APPEND_DATA = 0x00000004UL;
constexpr unsigned long FILE_READ_EA = 0x00000008UL;
constexpr unsigned long FILE_WRITE_EA = 0x00000010UL;
constexpr unsigned long FILE_EXECUTE = 0x00000020UL;
constexpr unsigned long FILE_READ_ATTRIBUTES = 0x00000080UL;
constexpr unsigned long FILE_WRITE_ATTRIBUTES = 0x00000100UL;
constexpr unsigned long FILE_SHARE_READ = 0x00000001UL;
constexpr unsigned long FILE_SHARE_WRITE = 0x00000002UL;
constexpr unsigned long FILE_SHARE_DELETE = 0x00000004UL;
constexpr int CREATE_NEW = 1;
constexpr int CREATE_ALWAYS = 2;
constexpr int OPEN_EXISTING = 3;
constexpr int OPEN_ALWAYS = 4;
constexpr int TRUNCATE_EXISTING = 5;
constexpr unsigned long FILE_ATTRIBUTE_NORMAL = 0x00000080UL;
constexpr unsigned long FILE_FLAG_WRITE_THROUGH = 0x80000000UL;
constexpr unsigned long FILE_FLAG_OVERLAPPED = 0x40000000UL;
constexpr unsigned long FILE_FLAG_NO_BUFFERING = 0x20000000UL;
constexpr unsigned long FILE_FLAG_RANDOM_ACCESS = 0x10000000UL;
constexpr unsigned long FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000UL;
constexpr unsigned long FILE_FLAG_DELETE_ON_CLOSE = 0x04000000UL;
constexpr unsigned long FILE_FLAG_BACKUP_SEMANTICS = 0x02000000UL;
constexpr unsigned long FILE_FLAG_POSIX_SEMANTICS = 0x01000000UL;
constexpr unsigned long FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000UL;
constexpr int FILE_BEGIN = 0;
constexpr int FILE_CURRENT = 1;
constexpr int FILE_END = 2;

// Locale and time formats.
constexpr unsigned long LOCALE_USER_DEFAULT = 0x0400UL;
constexpr unsigned long LOCALE_SYSTEM_DEFAULT = 0x0800UL;
constexpr unsigned long DATE_SHORTDATE = 0x00000001UL;

// _vsnprintf_s count that asks for silent truncation.
constexpr size_t _TRUNCATE = static_cast<size_t>(-1);

// Registry.
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000u)));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001u)));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002u)));
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003u)));
constexpr int KEY_QUERY_VALUE = 0x0001;
constexpr int KEY_SET_VALUE = 0x0002;
constexpr int KEY_CREATE_SUB_KEY = 0x0004;
constexpr int KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr int KEY_NOTIFY = 0x0010;
constexpr int KEY_CREATE_LINK = 0x0020;
constexpr int KEY_WOW64_64KEY = 0x0100;
constexpr int KEY_WOW64_32KEY = 0x0200;
constexpr long READ_CONTROL = 0x00020000L;
constexpr long SYNCHRONIZE = 0x00100000L;
constexpr long WRITE_DAC = 0x00040000L;
constexpr long WRITE_OWNER = 0x00080000L;
constexpr int KEY_READ = 0x20019;
constexpr int KEY_WRITE = 0x20006;
constexpr auto KEY_EXECUTE = KEY_READ;
constexpr int KEY_ALL_ACCESS = 0xF003F;
constexpr int REG_NONE = 0;
constexpr int REG_SZ = 1;
constexpr int REG_EXPAND_SZ = 2;
constexpr int REG_BINARY = 3;
constexpr int REG_DWORD = 4;
constexpr int REG_DWORD_BIG_ENDIAN = 5;
constexpr int REG_LINK = 6;
constexpr int REG_MULTI_SZ = 7;
constexpr int REG_QWORD = 11;
constexpr long REG_OPTION_NON_VOLATILE = 0x00000000L;
constexpr long REG_OPTION_VOLATILE = 0x00000001L;
constexpr long REG_CREATED_NEW_KEY = 0x00000001L;
constexpr long REG_OPENED_EXISTING_KEY = 0x00000002L;
constexpr long REG_NOTIFY_CHANGE_NAME = 0x00000001L;
constexpr long REG_NOTIFY_CHANGE_ATTRIBUTES = 0x00000002L;
constexpr long REG_NOTIFY_CHANGE_LAST_SET = 0x00000004L;
constexpr long REG_NOTIFY_CHANGE_SECURITY = 0x00000008L;
constexpr long REG_NOTIFY_THREAD_AGNOSTIC = 0x10000000L;

// Waiting.
constexpr unsigned int INFINITE = 0xFFFFFFFF;
constexpr long WAIT_OBJECT_0 = 0x00000000L;
constexpr DWORD WAIT_FAILED = static_cast<DWORD>(0xFFFFFFFF);

// Messages.
constexpr int FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr int FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr int FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr int FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr int FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr int FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr int FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// Locales.
constexpr int LOCALE_SABBREVLANGNAME = 0x00000003;
constexpr unsigned int LOCALE_NOUSEROVERRIDE = 0x80000000;
constexpr int LANG_NEUTRAL = 0x00;
constexpr int SUBLANG_DEFAULT = 0x01;
constexpr WORD MAKELANGID(WORD primary, WORD sub) { return static_cast<WORD>((sub << 10) | primary); }
constexpr LCID MAKELCID(WORD language, WORD sort) { return (static_cast<DWORD>(sort) << 16) | language; }
constexpr WORD LANGIDFROMLCID(LCID lcid) { return static_cast<WORD>(lcid); }

// Code pages.
constexpr int CP_ACP = 0;
constexpr int CP_OEMCP = 1;
constexpr int CP_THREAD_ACP = 3;
constexpr int CP_UTF8 = 65001;
constexpr int MB_ERR_INVALID_CHARS = 0x00000008;
constexpr int WC_ERR_INVALID_CHARS = 0x00000080;

// Modules.
constexpr int GET_MODULE_HANDLE_EX_FLAG_PIN = 0x00000001;
constexpr int GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x00000002;
constexpr int GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x00000004;
constexpr int LOAD_LIBRARY_AS_DATAFILE = 0x00000002;

// Atomic counts, with the Win32 names.
inline LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

// Event log.
constexpr int EVENTLOG_SUCCESS = 0x0000;
constexpr int EVENTLOG_ERROR_TYPE = 0x0001;
constexpr int EVENTLOG_WARNING_TYPE = 0x0002;
constexpr int EVENTLOG_INFORMATION_TYPE = 0x0004;
constexpr int EVENTLOG_AUDIT_SUCCESS = 0x0008;
constexpr int EVENTLOG_AUDIT_FAILURE = 0x0010;
constexpr int EVENTLOG_SEQUENTIAL_READ = 0x0001;
constexpr int EVENTLOG_SEEK_READ = 0x0002;
constexpr int EVENTLOG_FORWARDS_READ = 0x0004;
constexpr int EVENTLOG_BACKWARDS_READ = 0x0008;

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
constexpr int TOKEN_QUERY = 0x0008;
enum TOKEN_INFORMATION_CLASS { TokenUser = 1 };
struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};
typedef HANDLE* PHANDLE;

// The functions, by the part of the platform layer that implements them
// (src/platform/posix/<room>/<file>).

// Kernel objects: the last error (kernel/errors.cpp), handles
// (kernel/handles.cpp), events and waiting (kernel/events.cpp), the
// process (kernel/process.cpp), time (kernel/time.cpp) and the user's
// identity, S-1-22-1-<uid> (kernel/security.cpp).
DWORD GetLastError(void);
void SetLastError(DWORD dwErrCode);
BOOL CloseHandle(HANDLE hObject);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD GetCurrentProcessId(void);
DWORD GetCurrentThreadId(void);
void Sleep(DWORD dwMilliseconds);
DWORD GetTickCount(void);
void GetLocalTime(LPSYSTEMTIME lpSystemTime);
HANDLE GetCurrentProcess(void);
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass, LPVOID TokenInformation,
                         DWORD TokenInformationLength, PDWORD ReturnLength);
DWORD GetLengthSid(PSID pSid);
BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid);
BOOL IsValidSid(PSID pSid);

// Text: bounded copies (text/bounded_copy.cpp), code pages, the ANSI one
// being UTF-8 (text/code_pages.cpp), locales (text/locale.cpp), date and
// time formats (text/time_format.cpp), message texts (text/messages.cpp)
// and the formatters (text/wsprintf.cpp, text/vsnprintf_s.cpp).
LPSTR StrCatBuffA(LPSTR pszDest, LPCSTR pszSrc, int cchDestBuffSize);
LPSTR lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
UINT GetACP(void);
UINT GetOEMCP(void);
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar);
int GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData);
int GetDateFormatA(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCSTR lpFormat, LPSTR lpDateStr,
                   int cchDate);
int GetTimeFormatA(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCSTR lpFormat, LPSTR lpTimeStr,
                   int cchTime);
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);
HLOCAL LocalFree(HLOCAL hMem);
int wvsprintfA(LPSTR buffer, LPCSTR format, va_list arglist);
int _vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, va_list argptr);

// Files (files/files.cpp), temporary files (files/temp_files.cpp), copies
// (files/copy_file.cpp), paths, whose separator is '/' here
// (files/paths.cpp), and the search for a file (files/search_path.cpp).
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped);
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
BOOL SetEndOfFile(HANDLE hFile);
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL FlushFileBuffers(HANDLE hFile);
BOOL DeleteFileA(LPCSTR lpFileName);
DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
UINT GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName);
BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists);
LPSTR PathFindFileNameA(LPCSTR pszPath);
LPSTR PathFindExtensionA(LPCSTR pszPath);
LPSTR PathAddBackslashA(LPSTR pszPath);
BOOL PathFileExistsA(LPCSTR pszPath);
BOOL PathIsRelativeA(LPCSTR pszPath);
BOOL MakeSureDirectoryPathExists(LPCSTR DirPath);
DWORD SearchPathA(LPCSTR lpPath, LPCSTR lpFileName, LPCSTR lpExtension, DWORD nBufferLength, LPSTR lpBuffer,
                  LPSTR* lpFilePart);

// Modules: loading them (modules/modules.cpp) and their file names
// (modules/module_names.cpp); the system directory that holds the
// platform's own (machine/system_directory.cpp).
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
BOOL FreeLibrary(HMODULE hLibModule);
BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);

// The debugger output channel (debug/debug_output.cpp).
void OutputDebugStringA(LPCSTR lpOutputString);

// The registry (registry/), in the machine store and the user's own
// (machine/system_root.h).
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);
LONG RegCloseKey(HKEY hKey);
LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LONG RegFlushKey(HKEY hKey);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime);
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LONG SHDeleteKeyA(HKEY hKey, LPCSTR pszSubKey);
LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                             BOOL fAsynchronous);

// The event log (eventlog/), in the machine store.
HANDLE RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
BOOL DeregisterEventSource(HANDLE hEventLog);
BOOL ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid, WORD wNumStrings,
                  DWORD dwDataSize, LPCSTR* lpStrings, LPVOID lpRawData);
HANDLE OpenEventLogA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
HANDLE OpenBackupEventLogA(LPCSTR lpUNCServerName, LPCSTR lpFileName);
BOOL ReadEventLogA(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset, LPVOID lpBuffer,
                   DWORD nNumberOfBytesToRead, DWORD* pnBytesRead, DWORD* pnMinNumberOfBytesNeeded);
BOOL GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords);
BOOL GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord);
BOOL ClearEventLogA(HANDLE hEventLog, LPCSTR lpBackupFileName);
BOOL CloseEventLog(HANDLE hEventLog);

}  // namespace Win32
using namespace Win32;
}  // namespace Vk

#endif  // _WIN32

#endif  // VK_PLATFORM_H
