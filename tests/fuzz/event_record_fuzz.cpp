// One stored event row, whatever its values and their types, read through
// ReadEventLogA and shown as `vkdiag events query` shows it: every read ends
// with the record or a clean error, in bounded time and memory.
#include <vk/platform.h>

#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "event_output.h"
#include "event_record.h"
#include "fuzz_support.h"
#include "tool_error.h"

namespace {

// A value of any of SQLite's types, as a stored column may hold.
void BindAnything(FuzzedDataProvider& input, sqlite3_stmt* statement, int index) {
  switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0: sqlite3_bind_int64(statement, index, input.ConsumeIntegral<int64_t>()); break;
    case 1: sqlite3_bind_double(statement, index, input.ConsumeFloatingPoint<double>()); break;
    case 2: {
      std::string text = input.ConsumeRandomLengthString(256);
      sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    case 3: {
      std::string blob = input.ConsumeRandomLengthString(4096);
      sqlite3_bind_blob(statement, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
      break;
    }
    default: sqlite3_bind_null(statement, index); break;
  }
}

// The store made by one report, with the tool's output going nowhere.
std::string Prepare() {
  std::string store = vk_fuzz::StateDirectory() + "/eventlog.db";
  HANDLE source = RegisterEventSourceA(nullptr, "VkFuzz");
  const char* strings[] = {"made"};
  if (!source || !ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr)) abort();
  DeregisterEventSource(source);
  int null = open("/dev/null", O_WRONLY);
  if (null < 0 || dup2(null, 1) < 0) abort();
  return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static const std::string store = Prepare();
  FuzzedDataProvider input(bytes, size);
  sqlite3* db = nullptr;
  if (sqlite3_open(store.c_str(), &db) != SQLITE_OK) abort();
  sqlite3_exec(db, "DELETE FROM records", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db,
                         "INSERT INTO records(log_key, record_number, time_generated, time_written, event_id, type,"
                         " category, user_sid, source, computer, strings, data, length)"
                         " VALUES('application', ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)",
                         -1, &insert, nullptr) != SQLITE_OK)
    abort();
  for (int column = 1; column <= 12; ++column) BindAnything(input, insert, column);
  sqlite3_step(insert);
  sqlite3_finalize(insert);
  sqlite3_close(db);

  vkdiag::EventFilter filter;
  filter.format = input.ConsumeBool() ? "json" : "text";
  filter.Prepare();
  try {
    vkdiag::EventLogReader reader("Application");
    vkdiag::EventRecord record;
    for (int read = 0; read < 4 && reader.Next(input.ConsumeBool(), &record); ++read)
      if (filter.Matches(record)) vkdiag::PrintEvent(filter, record);
  } catch (const vkdiag::ToolError&) {
    // A corrupt row is the clean end of the read.
  }
  return 0;
}
