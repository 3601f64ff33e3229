// Starts a helper program as a child process, for tests that need a second
// process (several writers at once, a process killed mid-way). On Windows the
// child is started with CreateProcess, so under Wine a Windows test starts a
// Windows child directly.
#ifndef ZELTO_TESTS_SUPPORT_CHILD_PROCESS_H_
#define ZELTO_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <string>
#include <vector>

namespace zelto::testing {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // Kills the child if it is still running.
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` (an ArtifactPath) with `args`; it inherits the environment.
  bool Start(const std::string& program, const std::vector<std::string>& args);
  // Waits for the exit and returns the exit code; -1 when killed or never started.
  int Wait();
  // Kills at once (SIGKILL / TerminateProcess) and reaps the child.
  void Kill();
  bool running() const { return running_; }

 private:
  bool running_ = false;
#ifdef _WIN32
  void* process_ = nullptr;
#else
  int pid_ = -1;
#endif
};

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_SUPPORT_CHILD_PROCESS_H_
