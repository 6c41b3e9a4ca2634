#include "formats/outputs.hpp"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "formats/streams.hpp"

namespace varnex {

namespace {

// Folder part of a name, with its last "/" ("" for a bare name).
std::string folder_of(const std::string& name) {
  std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string last_name(const std::string& name) { return name.substr(own_name_start(name)); }

bool real_folder(const std::string& name, std::string& resolved) {
  std::string folder = folder_of(name);
  char buffer[PATH_MAX];
  if (!::realpath(folder.empty() ? "." : folder.c_str(), buffer)) return false;
  resolved = buffer;
  return true;
}

// Where a name leads after its links: the last link's target, and whether a
// link on the way lives under /proc (standard output as /dev/stdout or
// /proc/self/fd/1, whose "target" is not a name to write beside).
struct link_end {
  std::string path;
  bool through_proc = false;
};

link_end follow_links(const std::string& name) {
  link_end end{name};
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(end.path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string folder;
    if (real_folder(end.path, folder) && folder.compare(0, 6, "/proc/") == 0) {
      end.through_proc = true;
      break;
    }
    char buffer[PATH_MAX];
    ssize_t n = ::readlink(end.path.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0) break;
    std::string target(buffer, static_cast<std::size_t>(n));
    end.path = target[0] == '/' ? target : folder_of(end.path) + target;
  }
  return end;
}

// "/" + the name's components with "." and ".." worked out by their text, for
// a name whose folder does not exist (it can only equal such another name).
std::string lexical_path(const std::string& name) {
  std::error_code no_working_folder;
  const std::filesystem::path full = std::filesystem::absolute(name, no_working_folder);
  std::string path = (no_working_folder ? std::filesystem::path(name) : full).lexically_normal();
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

struct identity {
  std::string path;  // resolved folder + last name
  bool exists = false;
  struct stat st;
};

// `fd` stands for "-": standard input among the inputs, standard output
// among the outputs; "-" is no file of the working folder.
identity identify(const std::string& name, int fd = STDOUT_FILENO) {
  identity id;
  if (is_standard_stream(name)) {
    id.path = fd == STDIN_FILENO ? "<standard input>" : "<standard output>";
    id.exists = ::fstat(fd, &id.st) == 0;
    return id;
  }
  id.exists = ::stat(name.c_str(), &id.st) == 0;
  link_end end = follow_links(name);
  std::string folder;
  if (real_folder(end.path, folder))
    id.path = folder + "/" + last_name(end.path);
  else
    id.path = lexical_path(end.path);
  return id;
}

bool same_identity(const identity& a, const identity& b) {
  if (a.exists && b.exists) return a.st.st_dev == b.st.st_dev && a.st.st_ino == b.st.st_ino;
  return !a.exists && !b.exists && a.path == b.path;
}

// Same file, and writing it from both ends would matter: a device such as
// /dev/null may be named as often as the user likes.
bool clash(const identity& a, const identity& b) {
  return same_identity(a, b) && !(a.exists && S_ISCHR(a.st.st_mode));
}

mode_t new_file_mode() {
  static const mode_t mode = [] {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
  }();
  return mode;
}

// Every temporary output file of this process, for the signal handler: a run
// stopped by Ctrl-C or kill removes them and nothing else. Nodes are only
// ever pushed at the head, so the handler always sees a whole list.
struct temp_node {
  char* name;
  volatile sig_atomic_t live;
  temp_node* next;
};
temp_node* volatile temp_files = nullptr;

// Registers the template of a temporary name before the file exists: mkostemp
// then fills in the name in the node itself, so a signal at any moment finds
// every file the run has created.
char* register_temp(const std::string& name_template) {
  char* name = ::strdup(name_template.c_str());
  if (!name) throw std::bad_alloc();
  temp_files = new temp_node{name, 1, temp_files};
  return name;
}

void forget_temp(const std::string& name) {
  for (temp_node* n = temp_files; n; n = n->next)
    if (n->live && std::strcmp(n->name, name.c_str()) == 0) n->live = 0;
}

// While the outputs are renamed into place a stopping signal waits, so that
// the run ends with all of its outputs or none of them.
volatile sig_atomic_t holding_signals = 0;
volatile sig_atomic_t held_signal = 0;

extern "C" void remove_temp_files_and_stop(int sig) {
  if (holding_signals) {
    held_signal = sig;
    return;
  }
  for (temp_node* n = temp_files; n; n = n->next)
    if (n->live) ::unlink(n->name);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

const int stopping_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// True when an output of this name is written in place: it exists and is not
// a regular file, or it is reached through /proc (/dev/stdout, /dev/fd/N).
bool writes_in_place(const std::string& name) {
  if (is_standard_stream(name)) return true;
  struct stat st;
  if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return true;
  return follow_links(name).through_proc;
}

// A pipe or FIFO: what is read from it cannot be read again.
bool is_pipe(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

// "Can't read NAME twice: ..." for a pipe, or for "-" (standard input).
std::string read_twice_refusal(const std::string& name) {
  if (is_standard_stream(name)) return "Can't read - twice: it is standard input, not a file";
  return "Can't read " + name + " twice: it is a pipe, not a file";
}

}  // namespace

std::string tagged_name(std::string_view name, std::string_view tag) {
  std::string result(name);
  std::size_t p = name.find(".gz", own_name_start(name));
  if (p == std::string_view::npos)
    result.append(tag);
  else
    result.insert(p, tag);
  return result;
}

std::string tagged_gen_name(std::string_view name, std::string_view tag) {
  if (!is_bgen_name(name)) return tagged_name(name, tag);
  return std::string(name.substr(0, name.size() - 5)).append(tag).append(".bgen");
}

bool own_name_is_gz(std::string_view name) {
  return name.find(".gz", own_name_start(name)) != std::string_view::npos;
}

void append_gz(std::string& name) {
  if (!own_name_is_gz(name) && !writes_in_place(name)) name += ".gz";
}

std::string name_clash(const std::string& log, const run_names& names) {
  const identity log_id = identify(log);
  // Another name "-" is checked where the run reads or writes it.
  for (const auto* list : {&names.inputs, &names.outputs, &names.others})
    for (const std::string& name : *list)
      if (!name.empty() && (list != &names.others || !is_standard_stream(name)) &&
          clash(log_id, identify(name, list == &names.inputs ? STDIN_FILENO : STDOUT_FILENO)))
        return "Log file " + log + " is the same file as " + name;
  if (std::count_if(names.inputs.begin(), names.inputs.end(), is_standard_stream) > 1)
    return read_twice_refusal("-");
  std::vector<identity> outputs;
  for (const std::string& out : names.outputs) {
    outputs.push_back(identify(out));
    if (out.empty()) continue;
    for (const std::string& in : names.inputs)
      if (!in.empty() && clash(outputs.back(), identify(in, STDIN_FILENO)))
        return "Output file " + out + " is the same file as input " + in;
    for (std::size_t p = 0; p + 1 < outputs.size(); ++p)
      // Standard output is one stream, even when it is a terminal.
      if (!names.outputs[p].empty() &&
          (clash(outputs.back(), outputs[p]) || (is_standard_stream(out) && out == names.outputs[p])))
        return "Output file " + out + " is the same file as " + names.outputs[p];
  }
  return "";
}

void check_read_twice(const std::string& name) {
  if (is_standard_stream(name) || is_pipe(name)) throw run_failure(read_twice_refusal(name));
}

std::string log_refusal(const std::string& log) {
  return is_pipe(log) ? "Log file " + log + " is a pipe, not a file" : "";
}

output_target open_output_target(const std::string& name) {
  output_target target;
  target.name = name;
  if (name.empty()) throw run_failure("Can't open " + name);
  if (is_standard_stream(name)) {
    // A copy of standard output, written in place.
    target.final_name = name;
    target.fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (target.fd < 0) throw run_failure("Can't open " + name);
    return target;
  }
  struct stat st;
  const bool existed = ::stat(name.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) throw run_failure("Can't open " + name);
  const link_end end = follow_links(name);
  if (end.through_proc || (existed && !S_ISREG(st.st_mode))) {
    target.final_name = name;
    target.fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (target.fd < 0) throw run_failure("Can't open " + name);
    return target;
  }
  // A file the run may not write stays as it is, as when it was opened.
  if (existed && ::access(name.c_str(), W_OK) != 0) throw run_failure("Can't open " + name);
  target.final_name = end.path;
  target.temp_name = folder_of(end.path) + "." + last_name(end.path) + ".varnex-XXXXXX";
  char* temp = register_temp(target.temp_name);
  target.fd = ::mkostemp(temp, O_CLOEXEC);
  target.temp_name = temp;
  if (target.fd < 0) {
    forget_temp(target.temp_name);
    target.temp_name.clear();
    throw run_failure("Can't open " + name);
  }
  ::fchmod(target.fd, existed ? (st.st_mode & 07777) : new_file_mode());
  return target;
}

void commit_output_target(output_target& target) {
  if (target.temp_name.empty()) return;
  if (::rename(target.temp_name.c_str(), target.final_name.c_str()) != 0) {
    discard_output_target(target);
    throw run_failure("Can't write " + target.name);
  }
  forget_temp(target.temp_name);
  target.temp_name.clear();
}

void discard_output_target(output_target& target) {
  if (target.temp_name.empty()) return;
  ::unlink(target.temp_name.c_str());
  forget_temp(target.temp_name);
  target.temp_name.clear();
}

bool write_all(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

void remove_outputs_on_signal() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_temp_files_and_stop;
  sigfillset(&action.sa_mask);
  for (int sig : stopping_signals) {
    // A signal the caller chose to ignore (nohup, a background job) stays ignored.
    struct sigaction current;
    if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

void keep_outputs() {
  temp_node* n = temp_files;
  temp_files = nullptr;
  while (n) {
    temp_node* next = n->next;
    std::free(n->name);
    delete n;
    n = next;
  }
}

signals_held::signals_held() { holding_signals = 1; }

signals_held::~signals_held() {
  holding_signals = 0;
  if (held_signal) ::raise(held_signal);
}

}  // namespace varnex
