#include "output/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "text/memory.h"

namespace {

constexpr char temporary_suffix[] = ".tmpXXXXXX";

// The temporary files not yet moved or removed, so that a signal that ends
// the run early removes them as well. A run has two outputs at most.
constexpr size_t pending_slots = 4;
char* volatile pending[pending_slots];
const int fatal_signals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

extern "C" void remove_pending_and_end(int signal_number) {
  for (char* name : pending) {
    if (name != nullptr) unlink(name);
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// Installs the handler once, leaving alone any signal the caller ignores.
void install_removal_on_signals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal_number : fatal_signals) {
    struct sigaction previous {};
    if (sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction removal {};
    removal.sa_handler = remove_pending_and_end;
    sigemptyset(&removal.sa_mask);
    sigaction(signal_number, &removal, nullptr);
  }
}

void set_pending(char* name, char* replacement) {
  for (char* volatile& slot : pending) {
    if (slot == name) {
      slot = replacement;
      return;
    }
  }
}

char* copy_text(const char* text, size_t extra) {
  size_t length = std::strlen(text);
  char* copy = static_cast<char*>(memory_alloc(length + extra + 1));
  if (copy != nullptr) std::memcpy(copy, text, length + 1);
  return copy;
}

void release(output_file* f) {
  memory_release(f->target);
  memory_release(f->temporary);
  memory_release(f);
}

// The name the text ends up under: a symbolic link is followed, so that the
// link stays and the file it points to is replaced, as writing through it would.
char* target_name(const char* name) {
  char resolved[PATH_MAX];
  struct stat link;
  if (lstat(name, &link) == 0 && S_ISLNK(link.st_mode) && realpath(name, resolved) != nullptr) {
    return copy_text(resolved, 0);
  }
  return copy_text(name, 0);
}

// The permissions the finished file should have: those of the file it
// replaces, or those a new file gets under the process's mask.
mode_t permissions_for(const struct stat* existing, bool exists) {
  if (exists) return existing->st_mode & 07777;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Creates the temporary file beside the target; false, having created
// nothing, when the folder cannot take it or the target is read-only.
bool open_temporary(output_file* f, const struct stat* existing, bool exists) {
  if (exists && access(f->target, W_OK) != 0) return false;
  f->temporary = copy_text(f->target, sizeof temporary_suffix);
  if (f->temporary == nullptr) return false;
  std::strcat(f->temporary, temporary_suffix);
  // The file is made and recorded with the signals held back, so that no
  // signal falls between the two.
  install_removal_on_signals();
  sigset_t fatal, previous;
  sigemptyset(&fatal);
  for (int signal_number : fatal_signals) sigaddset(&fatal, signal_number);
  sigprocmask(SIG_BLOCK, &fatal, &previous);
  int descriptor = mkstemp(f->temporary);
  if (descriptor >= 0) set_pending(nullptr, f->temporary);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (descriptor < 0) return false;
  if (fchmod(descriptor, permissions_for(existing, exists)) != 0 ||
      (f->stream = fdopen(descriptor, "w")) == nullptr) {
    close(descriptor);
    unlink(f->temporary);
    set_pending(f->temporary, nullptr);
    return false;
  }
  return true;
}

}  // namespace

output_file* output_file_open(const char* name) {
  output_file* f = memory_new_record<output_file>();
  if (f == nullptr) return nullptr;
  f->target = target_name(name);
  if (f->target == nullptr) {
    release(f);
    return nullptr;
  }
  struct stat existing;
  bool exists = stat(f->target, &existing) == 0;
  bool opened = exists && !S_ISREG(existing.st_mode) ? (f->stream = std::fopen(f->target, "w")) != nullptr
                                                      : open_temporary(f, &existing, exists);
  if (!opened) {
    release(f);
    return nullptr;
  }
  return f;
}

bool output_file_commit(output_file* f) {
  bool written = std::fflush(f->stream) == 0 && std::ferror(f->stream) == 0;
  written = std::fclose(f->stream) == 0 && written;
  if (f->temporary != nullptr) {
    written = written && std::rename(f->temporary, f->target) == 0;
    if (!written) unlink(f->temporary);
    set_pending(f->temporary, nullptr);
  }
  release(f);
  return written;
}

void output_file_discard(output_file* f) {
  if (f == nullptr) return;
  std::fclose(f->stream);
  if (f->temporary != nullptr) {
    unlink(f->temporary);
    set_pending(f->temporary, nullptr);
  }
  release(f);
}

bool output_files_clash(const char* a, const char* b) {
  struct stat first, second;
  bool first_exists = stat(a, &first) == 0, second_exists = stat(b, &second) == 0;
  if (first_exists && second_exists) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino && S_ISREG(first.st_mode);
  }
  if (first_exists || second_exists) return false;
  // Neither exists yet: the same name in the same folder, however spelt.
  const char* base_a = std::strrchr(a, '/');
  const char* base_b = std::strrchr(b, '/');
  base_a = base_a != nullptr ? base_a + 1 : a;
  base_b = base_b != nullptr ? base_b + 1 : b;
  if (std::strcmp(base_a, base_b) != 0) return false;
  char folder_a[PATH_MAX], folder_b[PATH_MAX], resolved_a[PATH_MAX], resolved_b[PATH_MAX];
  size_t length_a = static_cast<size_t>(base_a - a), length_b = static_cast<size_t>(base_b - b);
  if (length_a >= PATH_MAX || length_b >= PATH_MAX) return std::strcmp(a, b) == 0;
  std::snprintf(folder_a, sizeof folder_a, "%.*s.", static_cast<int>(length_a), a);
  std::snprintf(folder_b, sizeof folder_b, "%.*s.", static_cast<int>(length_b), b);
  if (realpath(folder_a, resolved_a) == nullptr || realpath(folder_b, resolved_b) == nullptr) {
    return std::strcmp(a, b) == 0;
  }
  return std::strcmp(resolved_a, resolved_b) == 0;
}
