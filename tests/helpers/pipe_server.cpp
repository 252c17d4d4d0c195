// Test helper: serves named pipes the way the updater service does and records every
// connection it receives, so tests can see exactly what an installer sent.
//
//   pipe_server --pipe PATH [--pipe PATH ...] --record FILE --stop EVENT
//
// Each connection becomes one line of FILE once the client has closed it:
//   "<index of the pipe> <bytes in hex, or -> <impersonation level the client allowed>"
// The level is what ImpersonateNamedPipeClient gave (0 anonymous .. 3 delegation), or "-"
// when the server could not impersonate. FILE exists (empty) once every pipe listens. The
// server ends when the named event EVENT is signalled.
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "win/scoped_handle.h"

namespace {

using zelko::ScopedFileHandle;
using zelko::ScopedHandle;

struct Listener {
  size_t index;
  std::wstring path;
  ScopedFileHandle pipe;  // the instance waiting for the next client
  ScopedHandle connected;  // signalled when a client has connected to `pipe`
  OVERLAPPED overlapped{};
};

SRWLOCK recordLock = SRWLOCK_INIT;
std::wstring recordPath;

void AppendRecord(const std::string& line) {
  ::AcquireSRWLockExclusive(&recordLock);
  {
    const ScopedFileHandle file(::CreateFileW(recordPath.c_str(), FILE_APPEND_DATA,
                                              FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  ::ReleaseSRWLockExclusive(&recordLock);
}

bool Listen(Listener& listener) {
  listener.pipe.reset(::CreateNamedPipeW(listener.path.c_str(),
                                         PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 0,
                                         4096, 0, nullptr));
  if (!listener.pipe) return false;
  listener.overlapped = OVERLAPPED{};
  listener.overlapped.hEvent = listener.connected.get();
  ::ResetEvent(listener.overlapped.hEvent);
  if (!::ConnectNamedPipe(listener.pipe.get(), &listener.overlapped)) {
    // A client may connect between the two calls (ERROR_PIPE_CONNECTED), and a quick one may
    // even have written and closed already (ERROR_NO_DATA): both are connections to read.
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) {
      ::SetEvent(listener.overlapped.hEvent);
    } else if (error != ERROR_IO_PENDING) {
      return false;
    }
  }
  return true;
}

struct Connection {
  size_t index;
  ScopedFileHandle pipe;
};

// Reads one connection to its end and records it.
void Serve(Connection* connection) {
  std::string bytes;
  std::string level = "-";
  bool asked = false;
  for (;;) {
    char buffer[256];
    DWORD read = 0;
    const ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    BOOL ok = ::ReadFile(connection->pipe.get(), buffer, sizeof(buffer), &read, &overlapped);
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
      ok = ::GetOverlappedResult(connection->pipe.get(), &overlapped, &read, TRUE);
    }
    if (!ok || read == 0) break;
    bytes.append(buffer, read);
    if (!asked && ::ImpersonateNamedPipeClient(connection->pipe.get())) {
      asked = true;
      HANDLE token = nullptr;
      if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        const ScopedHandle owned(token);
        SECURITY_IMPERSONATION_LEVEL value;
        DWORD size = 0;
        if (::GetTokenInformation(token, TokenImpersonationLevel, &value, sizeof(value), &size)) {
          level = std::to_string(static_cast<int>(value));
        }
      }
      ::RevertToSelf();
    }
  }
  ::DisconnectNamedPipe(connection->pipe.get());
  connection->pipe.reset();
  std::string line = std::to_string(connection->index) + " ";
  if (bytes.empty()) line += "-";
  for (unsigned char c : bytes) {
    char hex[3];
    snprintf(hex, sizeof(hex), "%02x", c);
    line += hex;
  }
  AppendRecord(line + " " + level + "\r\n");
}

// Connections in the order they were accepted, read by one thread so that each is recorded
// in that order, while the accepting thread is free at once to let the next client in.
class ConnectionQueue {
 public:
  void Push(Connection connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(connection));
    ready_.notify_one();
  }
  // Serves every connection pushed before and after, until Close() and the queue is empty.
  void ServeAll() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return closed_ || !queue_.empty(); });
      if (queue_.empty()) return;
      Connection connection = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      Serve(&connection);
    }
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ready_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Connection> queue_;
  bool closed_ = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<Listener> listeners;
  std::wstring stopName;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring option = argv[i];
    if (option == L"--pipe") {
      listeners.emplace_back();
      listeners.back().index = listeners.size() - 1;
      listeners.back().path = argv[i + 1];
    }
    else if (option == L"--record") recordPath = argv[i + 1];
    else if (option == L"--stop") stopName = argv[i + 1];
  }
  if (listeners.empty() || recordPath.empty() || stopName.empty()) {
    fprintf(stderr, "usage: pipe_server --pipe PATH... --record FILE --stop EVENT\n");
    return 2;
  }
  const ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
  for (auto& listener : listeners) {
    listener.connected.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!Listen(listener)) {
      fprintf(stderr, "cannot serve %ls: %lu\n", listener.path.c_str(), ::GetLastError());
      return 1;
    }
  }
  AppendRecord("");  // the record file exists: every pipe listens

  // The installer opens a new connection for every message, one right after the other, and
  // gives up on a message when no instance is listening; so the accepting loop does nothing
  // but listen again before it hands the connection over.
  ConnectionQueue queue;
  std::thread reader([&queue] { queue.ServeAll(); });
  int result = 0;
  std::vector<HANDLE> waits{stop.get()};
  for (auto& listener : listeners) waits.push_back(listener.connected.get());
  for (;;) {
    const DWORD which = ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(),
                                                 FALSE, INFINITE);
    if (which == WAIT_OBJECT_0) break;
    const size_t slot = which - WAIT_OBJECT_0 - 1;
    if (slot >= listeners.size()) {
      result = 1;
      break;
    }
    Listener& listener = listeners[slot];
    Connection connection{listener.index, std::move(listener.pipe)};
    if (!Listen(listener)) {
      result = 1;
      break;
    }
    queue.Push(std::move(connection));
  }
  queue.Close();
  reader.join();
  return result;
}
