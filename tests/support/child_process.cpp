#include "child_process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace zelto::testing {

#ifdef _WIN32

namespace {
// Quotes one argument the way the C runtime splits a command line.
std::string Quoted(const std::string& arg) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}
}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  if (running_) return false;
  std::string command = Quoted(program);
  for (const auto& arg : args) command += " " + Quoted(arg);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  running_ = true;
  return true;
}

int ChildProcess::Wait() {
  if (!running_) return -1;
  WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  CloseHandle(process_);
  process_ = nullptr;
  running_ = false;
  return static_cast<int>(code);
}

void ChildProcess::Kill() {
  if (!running_) return;
  TerminateProcess(process_, 137);
  WaitForSingleObject(process_, INFINITE);
  CloseHandle(process_);
  process_ = nullptr;
  running_ = false;
}

#else

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  if (running_) return false;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return false;
  }
  pid_ = pid;
  running_ = true;
  return true;
}

int ChildProcess::Wait() {
  if (!running_) return -1;
  int status = 0;
  pid_t reaped;
  do {
    reaped = waitpid(pid_, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  running_ = false;
  return reaped == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::Kill() {
  if (!running_) return;
  kill(pid_, SIGKILL);
  Wait();
}

#endif

ChildProcess::~ChildProcess() { Kill(); }

}  // namespace zelto::testing
