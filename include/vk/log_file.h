// Vk::VkLogFile: appends diagnostic texts to one plain-text log file.
#ifndef VK_LOG_FILE_H
#define VK_LOG_FILE_H

#include <vk/platform.h>

namespace Vk {

class VkLogFile {
 public:
  // Option bits.
  static constexpr DWORD VKLF_TIMESTAMP = 0x001;   // prefix the local date and time
  static constexpr DWORD VKLF_CRLF = 0x002;        // end texts that lack a line end
  static constexpr DWORD VKLF_FLUSH = 0x004;       // kept; every text is flushed anyway
  static constexpr DWORD VKLF_KEEPOPEN = 0x008;    // keep the file open between operations
  static constexpr DWORD VKLF_BANNER = 0x010;      // start banner and stop line
  static constexpr DWORD VKLF_MODULE = 0x020;      // prefix the process name
  static constexpr DWORD VKLF_MODULEPATH = 0x060;  // prefix the process path instead
  static constexpr DWORD VKLF_METHOD = 0x080;      // prefix the method name while one is set
  static constexpr DWORD VKLF_NEWFILE = 0x100;     // an open at start recreates the file
  static constexpr DWORD VKLF_DEFAULT = 0x0B7;

  static constexpr DWORD kNoLimit = 0xFFFFFFFF;
  static constexpr size_t kTextBufferSize = 270;

  // A writer with VKLF_DEFAULT on the path derived from the executable.
  explicit VkLogFile(bool enabled);
  // A writer on the given path (null: the derived default) with the options.
  VkLogFile(const char* path, bool enabled, DWORD options);
  virtual ~VkLogFile();

  VkLogFile(const VkLogFile&) = delete;
  VkLogFile& operator=(const VkLogFile&) = delete;

  // Path operations; each returns whether the file could be opened at start.
  bool SetFullPath(const char* path);
  bool SetDirectory(const char* directory);
  bool SetFileName(const char* name);
  bool SetDefaultPath(HMODULE module);
  const char* GetFullPath() const { return m_szFullPath; }
  const char* GetDirectory() const { return m_szDirectory; }
  const char* GetFileName() const { return m_szFileName; }

  DWORD GetOptions() const { return m_dwOptions; }
  void SetOptions(DWORD options);
  void ChangeOptions(DWORD clear, DWORD set);
  bool HasOptions(DWORD mask) const { return (m_dwOptions & mask) == mask; }

  void SetEnabled(bool on);
  bool IsEnabled() const { return m_bEnabled; }

  bool Open(bool atStart);
  bool Close();
  bool IsOpen() const { return m_hFile != nullptr && m_hFile != INVALID_HANDLE_VALUE; }
  bool Restart();

  // Formats and appends one text. True when the text reached the file, or
  // when the writer is disabled; false when it was lost.
  VK_PRINTF_FORMAT(2, 3) bool Write(const char* format, ...);
  VK_PRINTF_FORMAT(2, 0) bool WriteV(const char* format, va_list args);

  void SetMethodName(const char* name) { m_pszMethodName = name; }

  // Size limit: at every open at start a file larger than maximumSize is cut
  // back to its last keptSize bytes. kNoLimit in either switches it off.
  void SetSizeLimits(DWORD keptSize, DWORD maximumSize);

  // Error lines: "LastError: <the system's text> (<code>)".
  bool WriteErrorCode(DWORD errorCode);
  bool WriteHResult(HRESULT result);
  bool WriteLastError();

  // Registry switches: a DWORD value that equals 1 switches the writer on
  // (Enable) or off (Disable); another number the other way. A missing key
  // or value, or a value of another type, changes nothing.
  void EnableFromRegistry(HKEY root, const char* subKey, const char* valueName);
  void DisableFromRegistry(HKEY root, const char* subKey, const char* valueName);

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
