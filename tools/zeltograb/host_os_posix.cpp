#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "host_os.h"

namespace zelto::grab {
namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int signal_number) {
  g_interrupted.store(true);
  // The next one ends the process.
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(n));
}

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void InstallInterruptHandler() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return g_interrupted.load(); }

void SetEnvironment(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

ComScope::ComScope() { initialized_ = true; }
ComScope::~ComScope() = default;

HRESULT CreateRegisteredObject(REFIID, void** object) {
  *object = nullptr;
  return E_NOINTERFACE;
}

void LowerThisThreadPriority() {
  // Linux gives each thread its own nice value, addressed by its thread id.
  const id_t self = static_cast<id_t>(syscall(SYS_gettid));
  setpriority(PRIO_PROCESS, self, getpriority(PRIO_PROCESS, self) + 5);
}

}  // namespace zelto::grab
