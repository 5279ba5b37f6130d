/// \file
/// Vk::VkLogFile: appends diagnostic texts to one plain-text log file.

#ifndef VK_LOG_FILE_H
#define VK_LOG_FILE_H

#include <vk/platform.h>

/// The library's own classes: Vk::VkLogFile, Vk::VkRegistry,
/// Vk::VkEventLog, Vk::VkGenericEventLogger and their helpers. On Linux the
/// Win32 subset that they use lives in Vk::Win32 (`using namespace
/// Vk::Win32;`, which compiles on Windows too).
namespace Vk {

/// Appends formatted texts to one log file, each with an optional prefix of
/// process name, local date and time and method name.
///
/// A line reads `app : 12/09/25 14:03:07 : Method : text` followed by CR LF,
/// each piece only under its option (VKLF_MODULE, VKLF_TIMESTAMP,
/// VKLF_METHOD, VKLF_CRLF); the date and time are the user's short date and
/// time formats. By default the file is open only for the length of one
/// operation, so writers in this and other processes take turns on one
/// file; a file that is closed while empty is deleted.
///
/// **Errors.** Results are booleans; after a false result GetLastError()
/// tells why. Every operation leaves the calling thread's last error changed.
///
/// **Blocking.** Every text opens the file, writes, flushes it to the disk
/// and closes it again. An open that finds the file held by another writer
/// retries for about half a second before the text is lost.
///
/// **Threads.** One writer is for one thread at a time: two threads that
/// share a writer lose texts while Write() returns true. Give each thread
/// its own writer on the same path, or serialise the calls.
class VkLogFile {
 public:
  /// \name Option bits
  /// Combine them for the constructor, SetOptions() and ChangeOptions().
  //@{
  static constexpr DWORD VKLF_TIMESTAMP = 0x001;   ///< Prefix the local date and time.
  static constexpr DWORD VKLF_CRLF = 0x002;        ///< Append CR LF to a text of two or more characters that does not end in LF or CR.
  static constexpr DWORD VKLF_FLUSH = 0x004;       ///< Kept for compatibility; every text is flushed anyway.
  static constexpr DWORD VKLF_KEEPOPEN = 0x008;    ///< Keep the file open between operations, keeping other writers out.
  static constexpr DWORD VKLF_BANNER = 0x010;      ///< A start banner before the first text after a (re)start, a stop line at destruction.
  static constexpr DWORD VKLF_MODULE = 0x020;      ///< Prefix the process name (the executable's file name).
  static constexpr DWORD VKLF_MODULEPATH = 0x060;  ///< VKLF_MODULE with the executable's full path instead of its name.
  static constexpr DWORD VKLF_METHOD = 0x080;      ///< Prefix the method name while one is set (VkMethodTracer).
  static constexpr DWORD VKLF_NEWFILE = 0x100;     ///< An open at start deletes an existing file and creates it anew.
  /// VKLF_TIMESTAMP, VKLF_CRLF, VKLF_FLUSH, VKLF_BANNER, VKLF_MODULE and VKLF_METHOD.
  static constexpr DWORD VKLF_DEFAULT = 0x0B7;
  //@}

  /// For SetSizeLimits(): no limit.
  static constexpr DWORD kNoLimit = 0xFFFFFFFF;
  /// Size of the path buffers: a path holds at most 269 characters.
  static constexpr size_t kTextBufferSize = 270;

  /// A writer with VKLF_DEFAULT on the default path (see SetDefaultPath()).
  /// While enabled, the file is opened at start (created, the size limit
  /// applied) and closed again: an empty file is deleted at once.
  explicit VkLogFile(bool enabled);
  /// A writer on the given path (null: the default path) with the options.
  /// Opens at start as the other constructor does.
  VkLogFile(const char* path, bool enabled, DWORD options);
  /// Writes the stop line under VKLF_BANNER, closes the file (deleting it
  /// when empty) and frees the format buffer.
  virtual ~VkLogFile();

  VkLogFile(const VkLogFile&) = delete;
  VkLogFile& operator=(const VkLogFile&) = delete;

  /// \name Paths
  /// Each path operation closes the file held under the old path, makes the
  /// start banner due, and opens the new file at start (creating it,
  /// honouring VKLF_NEWFILE and the size limit) and closes it again unless
  /// VKLF_KEEPOPEN. It returns whether that open succeeded: false while the
  /// writer is disabled (the path is stored all the same), when the open
  /// failed (GetLastError() tells why), and for a path of 270 characters or
  /// more, which is refused rather than cut. The writer never creates
  /// directories.
  //@{
  /// Sets the full path; the directory and file name are split from it.
  bool SetFullPath(const char* path);
  /// Sets the directory; the full path becomes the directory, a separator and the file name.
  bool SetDirectory(const char* directory);
  /// Sets the file name; the full path becomes the directory, a separator and the name.
  bool SetFileName(const char* name);
  /// Sets the path of the module (null: the process's executable) with its
  /// extension replaced by `Log`: `C:\P\app.exe` gives `C:\P\app.Log`, and
  /// a name without extension gets `Log` appended (`/usr/bin/app` gives
  /// `/usr/bin/appLog`). When the module's name cannot be had: `Default.log`
  /// in the current directory.
  bool SetDefaultPath(HMODULE module);
  /// The full path that is opened. The pointer is into the writer: valid
  /// while it lives, its text changed by the next path operation.
  const char* GetFullPath() const { return m_szFullPath; }
  /// The directory, with its trailing separator; a pointer into the writer as GetFullPath().
  const char* GetDirectory() const { return m_szDirectory; }
  /// The file name; a pointer into the writer as GetFullPath().
  const char* GetFileName() const { return m_szFileName; }
  //@}

  /// \name Options
  //@{
  /// The option word.
  DWORD GetOptions() const { return m_dwOptions; }
  /// Replaces the option word. Turning VKLF_NEWFILE on recreates the file at
  /// once (and deletes it again while empty, unless VKLF_KEEPOPEN).
  void SetOptions(DWORD options);
  /// Options become `set | (options & ~clear)`, as SetOptions().
  void ChangeOptions(DWORD clear, DWORD set);
  /// True when every bit of the mask is set (a mask of 0 is always true).
  bool HasOptions(DWORD mask) const { return (m_dwOptions & mask) == mask; }
  //@}

  /// \name Switching and opening
  //@{
  /// Switches the writer on (the file is opened at start and closed again)
  /// or off (the file is closed). While off nothing touches the disk.
  void SetEnabled(bool on);
  /// Whether the writer is on.
  bool IsEnabled() const { return m_bEnabled; }
  /// Opens the file (creating it) and moves to its end; at start also
  /// applies VKLF_NEWFILE and the size limit. True when open, and true
  /// without opening while the writer is disabled. An open file is closed
  /// first. Retries for about half a second while another writer holds it.
  bool Open(bool atStart);
  /// Flushes and closes the file; an empty file is deleted. True when no
  /// file is open afterwards.
  bool Close();
  /// Whether the writer holds its file open.
  bool IsOpen() const { return m_hFile != nullptr && m_hFile != INVALID_HANDLE_VALUE; }
  /// Makes the start banner due and opens at start, as a path operation
  /// does; returns whether the open succeeded.
  bool Restart();
  //@}

  /// Formats a text (printf conventions) and appends it with its prefix.
  /// The text may grow to 131071 characters; a longer one is cut there.
  /// True when the text reached the file, or when the writer is disabled;
  /// false when it was lost: the file could not be opened (another writer
  /// held it for more than about half a second, a missing directory, no
  /// access) or a write failed (a full disk), in which case the file is cut
  /// back to its size before the text. GetLastError() then tells why. The
  /// first text after a (re)start is preceded by the start banner under
  /// VKLF_BANNER: 49 dashes, then `Log <full path> started.`, each with the
  /// prefix.
  VK_PRINTF_FORMAT(2, 3) bool Write(const char* format, ...);
  /// Write() with an argument list.
  VK_PRINTF_FORMAT(2, 0) bool WriteV(const char* format, va_list args);

  /// Sets the name that VKLF_METHOD puts into the prefix (null: none). The
  /// text is not copied: it must outlive its use. VkMethodTracer sets it.
  void SetMethodName(const char* name) { m_pszMethodName = name; }

  /// Size limit: at every open at start, a file larger than maximumSize
  /// bytes keeps only its last keptSize bytes (kept size first). The cut
  /// falls at a byte offset, so the first line kept is usually partial.
  /// kNoLimit in either, or a kept size of 0, means no limit. When both are
  /// set, the file is opened at start at once, so an enabled writer is
  /// trimmed here. The trimming copies the file to a temporary file (prefix
  /// `CLF`) in the temporary directory and moves its tail back; between two
  /// opens at start the file grows without limit.
  void SetSizeLimits(DWORD keptSize, DWORD maximumSize);

  /// \name Error lines
  /// Each writes one text through Write() and returns its result.
  //@{
  /// `LastError: <the system's text> (<code in decimal>)`; the text is the
  /// system's for the result code 0x8007xxxx of the code, without its line end.
  bool WriteErrorCode(DWORD errorCode);
  /// `LastError: <the system's text> (0x<result in hexadecimal>)`; without a
  /// system text `IDispatch error #n` (0x80040201 to 0x8004FFFF) or
  /// `Unknown error 0x...`.
  bool WriteHResult(HRESULT result);
  /// WriteErrorCode() with the calling thread's GetLastError().
  bool WriteLastError();
  //@}

  /// \name Registry switches
  /// Read a DWORD value through VkRegistry (KEY_READ) and switch the writer
  /// with SetEnabled(). Only a value that equals 1 counts as true: 0, 2 or
  /// any other number is false. A missing key or value, or a value of
  /// another type, changes nothing and reports nothing.
  //@{
  /// On when the value is 1, off otherwise.
  void EnableFromRegistry(HKEY root, const char* subKey, const char* valueName);
  /// Off when the value is 1, on otherwise.
  void DisableFromRegistry(HKEY root, const char* subKey, const char* valueName);
  //@}

 private:
  void Initialise(bool enabled, DWORD options);
  bool OpenForOperationAtStart();
  HANDLE OpenWithRetry(DWORD disposition) const;
  void DeleteIfStillEmpty() const;
  bool WriteLine(const char* text);
  bool WriteRaw(const char* text);
  void BuildPrefix(char* prefix, size_t size) const;
  void TrimToSizeLimit();
  bool ReadRegistrySwitch(HKEY root, const char* subKey, const char* valueName, bool* flag) const;

  bool m_bStartPending;
  HANDLE m_hFile;
  DWORD m_dwOptions;
  bool m_bEnabled;
  DWORD m_dwMaximumSize;
  DWORD m_dwKeptSize;
  char m_szDirectory[kTextBufferSize];
  char m_szFileName[kTextBufferSize];
  char m_szFullPath[kTextBufferSize];
  char m_szProcessName[kTextBufferSize];
  char m_szProcessPath[kTextBufferSize];
  char* m_pszFormatBuffer;
  DWORD m_dwFormatBufferSize;
  DWORD m_dwGrowthBudget;
  const char* m_pszMethodName;
};

}  // namespace Vk

#endif  // VK_LOG_FILE_H
