// The worker and checker behind scripts/stress.
//
//   vk_stress_worker log FILE WORKER COUNT      writes COUNT texts to FILE
//   vk_stress_worker registry WORKER COUNT      writes COUNT values under HKCU
//   vk_stress_worker events WORKER COUNT        reports COUNT events
//   vk_stress_worker prepare                    gives the events their own log
//   vk_stress_worker check log FILE ACKS...     compares what was kept with
//   vk_stress_worker check registry ACKS...     what the workers acknowledged
//   vk_stress_worker check events ACKS...
//
// A worker prints "ack N" on stdout after each write that reported success,
// flushed at once, so that a worker killed with SIGKILL leaves exactly the
// writes it acknowledged in its ack file. The checker prints one line,
// "KIND: acknowledged A found F lost L torn T corrupt C duplicated D", and
// exits 1 when any of L, T, C or D is not 0. Torn: a text kept in part, or
// two run together. Corrupt: what is no text of a worker at all (bytes no
// writer wrote, a record whose layout is broken, a value of the wrong type
// or number).
#include <vk/event_log.h>
#include <vk/log_file.h>
#include <vk/registry.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace Vk::Win32;

namespace {

const char kStressKey[] = "Software\\VkStress";
const char kEventSource[] = "VkStress";
const char kEventLogName[] = "VkStress";
const char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\VkStress";
// Large enough that no acknowledged event is overwritten as the log fills.
constexpr DWORD kEventLogMaxSize = 1u << 30;
// Enough text to cross a page now and then without slowing the run.
const char kPayload[] = "0123456789abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

using WriteKey = std::pair<int, int>;  // worker, sequence number

void Acknowledge(int sequence) {
  printf("ack %d\n", sequence);
  fflush(stdout);
}

int WriteLog(const char* path, int worker, int count) {
  Vk::VkLogFile log(path, true, Vk::VkLogFile::VKLF_CRLF);
  for (int i = 0; i < count; ++i)
    if (log.Write("stress w%d n%d %s", worker, i, kPayload)) Acknowledge(i);
  return 0;
}

int WriteRegistry(int worker, int count) {
  std::string path = std::string(kStressKey) + "\\w" + std::to_string(worker);
  Vk::VkRegistry key(HKEY_CURRENT_USER, path.c_str(), true, KEY_ALL_ACCESS);
  for (int i = 0; i < count; ++i) {
    std::string name = "n" + std::to_string(i);
    if (key.WriteDword(name.c_str(), static_cast<DWORD>(i))) Acknowledge(i);
  }
  return 0;
}

// Registers the source under a log of its own that keeps every event.
int PrepareEvents() {
  Vk::VkRegistry key(HKEY_LOCAL_MACHINE, kEventLogKey, true, KEY_ALL_ACCESS);
  Vk::VkEventLog log;
  bool ok = key.WriteDword("MaxSize", kEventLogMaxSize) &&
            log.RegisterSource(kEventLogName, kEventSource, "VkGenericEventLogx.dll", nullptr, 7, 1);
  if (!ok) fprintf(stderr, "prepare: the stress log cannot be registered\n");
  return ok ? 0 : 1;
}

int ReportEvents(int worker, int count) {
  Vk::VkEventLog log(kEventSource, kEventLogName);
  for (int i = 0; i < count; ++i)
    if (log.Report(EVENTLOG_INFORMATION_TYPE, 1, 0, "stress w%d n%d %s", worker, i, kPayload)) Acknowledge(i);
  return 0;
}

// Reads the ack files; a file's name ends in the worker number after "ack-".
std::set<WriteKey> ReadAcknowledged(int argc, char** argv, int first) {
  std::set<WriteKey> acknowledged;
  for (int i = first; i < argc; ++i) {
    const char* number = strrchr(argv[i], '-');
    int worker = number ? atoi(number + 1) : 0;
    std::ifstream in(argv[i]);
    std::string word;
    int sequence = 0;
    while (in >> word >> sequence)
      if (word == "ack") acknowledged.insert({worker, sequence});
  }
  return acknowledged;
}

// Parses "stress w<worker> n<sequence> <payload>" from a text.
bool ParseText(const std::string& text, WriteKey* key) {
  int worker = 0, sequence = 0, consumed = 0;
  if (sscanf(text.c_str(), "stress w%d n%d %n", &worker, &sequence, &consumed) != 2) return false;
  if (text.compare(static_cast<size_t>(consumed), std::string::npos, kPayload) != 0) return false;
  *key = {worker, sequence};
  return true;
}

int Report(const char* kind, const std::set<WriteKey>& acknowledged, const std::map<WriteKey, int>& found,
           long torn, long corrupt) {
  // Writes in flight when a worker was killed may be kept unacknowledged;
  // only the acknowledged ones count as found or lost.
  long kept = 0, lost = 0, duplicated = 0;
  for (const WriteKey& key : acknowledged) {
    auto entry = found.find(key);
    if (entry == found.end()) ++lost;
    else ++kept;
  }
  for (const auto& entry : found)
    if (entry.second > 1) ++duplicated;
  printf("%s: acknowledged %zu found %ld lost %ld torn %ld corrupt %ld duplicated %ld\n", kind, acknowledged.size(),
         kept, lost, torn, corrupt, duplicated);
  return lost || torn || corrupt || duplicated ? 1 : 0;
}

// Bytes a text never holds: a writer writes printable ASCII and CR LF only.
bool HasForeignBytes(const std::string& line) {
  for (char c : line)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return true;
  return false;
}

int CheckLog(const char* path, const std::set<WriteKey>& acknowledged) {
  std::ifstream in(path, std::ios::binary);
  std::map<WriteKey, int> found;
  long torn = 0, corrupt = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    WriteKey key;
    if (ParseText(line, &key)) ++found[key];
    else if (HasForeignBytes(line)) ++corrupt;
    else ++torn;
  }
  return Report("log", acknowledged, found, torn, corrupt);
}

// The acknowledged set is ordered by worker, so each worker's key is
// opened once and each value read once.
int CheckRegistry(const std::set<WriteKey>& acknowledged) {
  std::map<WriteKey, int> found;
  long corrupt = 0;
  int openWorker = -1;
  Vk::VkRegistry key;
  for (const WriteKey& write : acknowledged) {
    if (write.first != openWorker) {
      openWorker = write.first;
      std::string path = std::string(kStressKey) + "\\w" + std::to_string(write.first);
      key.Open(HKEY_CURRENT_USER, path.c_str(), false, KEY_READ);
    }
    if (!key.IsOpen()) continue;  // the worker's values are lost
    DWORD value = 0, type = 0, size = sizeof value;
    std::string name = "n" + std::to_string(write.second);
    LONG result = RegQueryValueExA(key.GetKey(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (result == ERROR_FILE_NOT_FOUND) continue;  // lost
    if (result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value &&
        value == static_cast<DWORD>(write.second))
      ++found[write];
    else
      ++corrupt;  // there, but not the number written
  }
  // A value is written whole or not at all: nothing can be torn.
  return Report("registry", acknowledged, found, 0, corrupt);
}

// A record's layout as the reader depends on it: lengths, offsets and one
// terminated string inside the record.
bool RecordIsWhole(const BYTE* base, DWORD room) {
  EVENTLOGRECORD record;
  if (room < sizeof record) return false;
  memcpy(&record, base, sizeof record);
  if (record.Length < sizeof record + sizeof(DWORD) || record.Length > room || record.Length % sizeof(DWORD) != 0)
    return false;
  DWORD trailer = 0;
  memcpy(&trailer, base + record.Length - sizeof trailer, sizeof trailer);
  if (trailer != record.Length || record.NumStrings != 1 || record.StringOffset >= record.Length) return false;
  const char* names = reinterpret_cast<const char*>(base + sizeof record);
  const char* text = reinterpret_cast<const char*>(base + record.StringOffset);
  return strnlen(names, record.Length - sizeof record) < record.Length - sizeof record &&
         strnlen(text, record.Length - record.StringOffset) < record.Length - record.StringOffset;
}

int CheckEvents(const std::set<WriteKey>& acknowledged) {
  HANDLE log = OpenEventLogA(nullptr, kEventLogName);
  if (!log) {
    fprintf(stderr, "events: the stress log cannot be opened (error %lu)\n",
            static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  std::map<WriteKey, int> found;
  long torn = 0, corrupt = 0;
  std::vector<BYTE> buffer(256 * 1024);
  DWORD read = 0, needed = 0;
  bool readable = true;
  while (readable && ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                                   static_cast<DWORD>(buffer.size()), &read, &needed)) {
    for (DWORD offset = 0; offset < read;) {
      const BYTE* base = buffer.data() + offset;
      if (!RecordIsWhole(base, read - offset)) {
        ++corrupt;  // nothing after it in this read can be found
        readable = false;
        break;
      }
      EVENTLOGRECORD record;
      memcpy(&record, base, sizeof record);
      const char* text = reinterpret_cast<const char*>(base + record.StringOffset);
      if (strcmp(reinterpret_cast<const char*>(base + sizeof record), kEventSource) == 0) {
        WriteKey key;
        if (ParseText(text, &key)) ++found[key];
        else if (HasForeignBytes(text)) ++corrupt;
        else ++torn;
      }
      offset += record.Length;
    }
  }
  DWORD error = GetLastError();
  CloseEventLog(log);
  if (readable && error != ERROR_HANDLE_EOF) {
    fprintf(stderr, "events: reading the log stopped with error %lu\n", static_cast<unsigned long>(error));
    ++corrupt;
  }
  return Report("events", acknowledged, found, torn, corrupt);
}

int Usage() {
  fprintf(stderr, "usage: vk_stress_worker log FILE WORKER COUNT | registry WORKER COUNT | events WORKER COUNT\n"
                  "       vk_stress_worker check log FILE ACKS... | check registry ACKS... | check events ACKS...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string mode = argv[1];
  if (mode == "log" && argc == 5) return WriteLog(argv[2], atoi(argv[3]), atoi(argv[4]));
  if (mode == "registry" && argc == 4) return WriteRegistry(atoi(argv[2]), atoi(argv[3]));
  if (mode == "prepare") return PrepareEvents();
  if (mode == "events" && argc == 4) return ReportEvents(atoi(argv[2]), atoi(argv[3]));
  if (mode == "check" && argc >= 3) {
    std::string kind = argv[2];
    if (kind == "log" && argc >= 4) return CheckLog(argv[3], ReadAcknowledged(argc, argv, 4));
    if (kind == "registry") return CheckRegistry(ReadAcknowledged(argc, argv, 3));
    if (kind == "events") return CheckEvents(ReadAcknowledged(argc, argv, 3));
  }
  return Usage();
}
