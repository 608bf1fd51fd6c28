#include "running_program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace octets::test {

RunningProgram::RunningProgram(const std::filesystem::path& folder, const Options& options) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  if (options.nonblocking_input) fcntl(in[0], F_SETFL, O_NONBLOCK);
  if (options.nonblocking_output) fcntl(out[1], F_SETFL, O_NONBLOCK);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    // As a shell would start it: default signal handling.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGPIPE}) std::signal(signal, SIG_DFL);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : options.blocked_signals) sigaddset(&blocked, signal);
    sigprocmask(SIG_SETMASK, &blocked, nullptr);
    if (chdir(folder.c_str()) != 0) _exit(120);
    for (const std::string& setting : options.environment) putenv(strdup(setting.c_str()));
    execl(OCTETS_BUILT_PROGRAM, "octets", nullptr);
    _exit(121);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0) finish();
}

void RunningProgram::type(const std::string& text) {
  ASSERT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

void RunningProgram::close_output() {
  close(out_);
  out_ = -1;
}

void RunningProgram::read_output() {
  pollfd ready{out_, POLLIN, 0};
  char buffer[65536];
  ssize_t n = 0;
  if (poll(&ready, 1, 100) > 0 && (n = read(out_, buffer, sizeof buffer)) > 0) {
    output.append(buffer, static_cast<std::size_t>(n));
  }
}

bool RunningProgram::wait_for(const std::string& text) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!output.ends_with(text)) {
    pollfd ready{out_, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline || poll(&ready, 1, 100) < 0) return false;
    char buffer[4096];
    ssize_t n = (ready.revents & (POLLIN | POLLHUP)) ? read(out_, buffer, sizeof buffer) : 1;
    if (n <= 0) return false;
    if (ready.revents & POLLIN) output.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

int RunningProgram::finish() {
  if (in_ >= 0) close(in_);
  in_ = -1;
  char buffer[4096];
  for (ssize_t n; out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  for (ssize_t n; (n = read(err_, buffer, sizeof buffer)) > 0;) errors.append(buffer, n);
  if (out_ >= 0) close(out_);
  close(err_);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  ended_by = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return WIFSIGNALED(status) ? 128 + ended_by : WEXITSTATUS(status);
}

bool can_inject_faults() { return OCTETS_FAULT_SHIM[0] != '\0'; }

std::string fault_preload() { return "LD_PRELOAD=" OCTETS_FAULT_SHIM; }

}  // namespace octets::test
