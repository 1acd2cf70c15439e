#include "SourceText.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

extern char** environ;

namespace veltrana::gridtool {

namespace {

constexpr std::string_view CompressedSuffix = ".xz";
constexpr std::size_t ReadChunk = 1 << 16;

bool EndsWith(std::string_view Text, std::string_view Suffix) {
  return Text.size() >= Suffix.size() && Text.substr(Text.size() - Suffix.size()) == Suffix;
}

bool ReadPlain(const std::string& FileName, std::string& Text, std::string& Error) {
  std::ifstream In(FileName, std::ios::binary);
  if (!In) {
    Error = FileName + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  Text.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  if (In.bad()) {
    Error = FileName + ": read error";
    return false;
  }
  return true;
}

// Runs xz with an argument vector (no shell, so any file name is safe) and
// collects its standard output.
bool ReadCompressed(const std::string& FileName, std::string& Text, std::string& Error) {
  int Pipe[2];
  if (pipe(Pipe) != 0) {
    Error = FileName + ": cannot create a pipe for xz";
    return false;
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
  posix_spawn_file_actions_addclose(&Actions, Pipe[1]);
  std::string Program = "xz";
  std::string Decompress = "-dc";
  std::string EndOfOptions = "--";
  std::string Name = FileName;
  char* Arguments[] = {Program.data(), Decompress.data(), EndOfOptions.data(), Name.data(), nullptr};
  pid_t Child = 0;
  const int Spawned = posix_spawnp(&Child, "xz", &Actions, nullptr, Arguments, environ);
  posix_spawn_file_actions_destroy(&Actions);
  close(Pipe[1]);
  if (Spawned != 0) {
    close(Pipe[0]);
    Error = FileName + ": cannot run xz (" + std::strerror(Spawned) + ")";
    return false;
  }
  Text.clear();
  char Buffer[ReadChunk];
  while (true) {
    const ssize_t Got = read(Pipe[0], Buffer, sizeof(Buffer));
    if (Got > 0) {
      Text.append(Buffer, static_cast<std::size_t>(Got));
    } else if (Got == 0 || errno != EINTR) {
      break;
    }
  }
  close(Pipe[0]);
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) {
    Error = FileName + ": xz -dc failed" +
            (WIFEXITED(Status) ? " (exit status " + std::to_string(WEXITSTATUS(Status)) + ")" : std::string());
    return false;
  }
  return true;
}

}  // namespace

bool ReadSourceText(const std::string& FileName, std::string& Text, std::string& Error) {
  return EndsWith(FileName, CompressedSuffix) ? ReadCompressed(FileName, Text, Error)
                                              : ReadPlain(FileName, Text, Error);
}

}  // namespace veltrana::gridtool
