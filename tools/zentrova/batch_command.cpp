#include "batch_command.h"

#include "cli_errors.h"

#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace zentrova_cli {
namespace fs = std::filesystem;

namespace {

// Why processes rather than threads: each file gets a whole instance and its own run loop, and a
// file that crashes its worker takes only itself down.
struct worker {
    std::size_t file;  // index into the inputs
    int pipe_fd;       // the worker's reports: "p FRACTION", "e MESSAGE", "s SECONDS", "t TEMPORARY"
    std::string pending;
    std::string temporary;  // the worker's unfinished output, removed by us if the worker dies
    double fraction = 0;
    std::string error;
    double seconds = 0;
};

unsigned usable_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<unsigned>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

void send(int fd, char kind, const std::string &text) {
    std::string line = std::string(1, kind) + " " + text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    line += '\n';
    // A parent gone away (SIGPIPE, handled) stops the worker through interrupted().
    [[maybe_unused]] const ssize_t n = ::write(fd, line.data(), line.size());
}

// The worker: renders one file, reports through `fd`, and exits with the tool's status for it.
[[noreturn]] void work(const batch_options &options, const fs::path &input, const fs::path &output, int fd) {
    int status = 0;
    try {
        process_options settings = options.settings;
        settings.input = input;
        settings.output = output;
        if (options.key_folder) {
            settings.key = *options.key_folder / input.filename();
            std::error_code ec;
            if (!fs::exists(*settings.key, ec))
                throw user_error("its key \"" + settings.key->string() + "\" does not exist");
        }
        settings.quiet = true;
        int last_permille = -1;
        settings.report_progress = [&](double fraction) {
            const int permille = static_cast<int>(fraction * 1000);
            if (permille == last_permille) return;
            last_permille = permille;
            send(fd, 'p', std::to_string(fraction));
        };
        // A worker killed outright (SIGKILL, the OOM killer) cannot remove its temporary file:
        // the parent is told its name, and removes it.
        settings.report_temporary = [&](const fs::path &temporary) { send(fd, 't', temporary.string()); };
        const process_summary summary = run_process(settings);
        send(fd, 's', std::to_string(summary.seconds));
    } catch (const user_error &e) {
        send(fd, 'e', e.what());
        status = interrupted() ? interrupt_exit_status() : 1;
    } catch (const std::exception &e) {
        send(fd, 'e', std::string("internal error: ") + e.what());
        status = 2;
    }
    ::close(fd);
    std::fflush(nullptr);
    ::_exit(status);
}

class batch_line {
public:
    explicit batch_line(bool enabled) : _enabled(enabled && ::isatty(STDERR_FILENO)) {}
    void draw(double fraction, std::size_t done, std::size_t failed, std::size_t total) {
        if (!_enabled) return;
        const auto now = std::chrono::steady_clock::now();
        if (_shown && now - _last < std::chrono::milliseconds(100)) return;
        _last = now;
        _shown = true;
        constexpr int width = 30;
        const int filled = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * width + 0.5);
        std::fprintf(stderr, "\r[%s%s] %3d%%  %zu of %zu files done, %zu failed ", std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), static_cast<int>(fraction * 100 + 0.5), done, total,
                     failed);
        std::fflush(stderr);
    }
    // A message above the line: the line is cleared and drawn again at the next update.
    void say(const std::string &message) {
        clear();
        std::fprintf(stderr, "zentrova: %s\n", message.c_str());
    }
    void clear() {
        if (_shown) std::fprintf(stderr, "\r%*s\r", 72, "");
        _shown = false;
    }

private:
    bool _enabled;
    bool _shown = false;
    std::chrono::steady_clock::time_point _last;
};

// The workers the limits allow at once: the parent holds one descriptor per running worker (its
// report pipe) and two more while starting one; each worker is a process of this user's.
unsigned workers_allowed(unsigned wanted) {
    unsigned allowed = wanted;
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        // What is open already (standard streams, libraries' descriptors), counted, plus a margin.
        unsigned open_now = 0;
        std::error_code ec;
        for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator(); it.increment(ec))
            ++open_now;
        const auto limit = static_cast<unsigned long long>(files.rlim_cur);
        const unsigned long long reserved = std::max(open_now, 3u) + 8;
        allowed = static_cast<unsigned>(std::min<unsigned long long>(allowed, limit > reserved ? limit - reserved : 1));
    }
    return std::max(1u, allowed);
}

}  // namespace

std::vector<fs::path> batch_outputs(const batch_options &options) {
    std::string extension = options.format;
    if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);
    std::vector<fs::path> outputs;
    std::map<fs::path, std::size_t> seen;
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
        const fs::path &input = options.inputs[i];
        fs::path name = input.stem();
        name += extension.empty() ? input.extension() : fs::path("." + extension);
        const fs::path output = options.output_folder / name;
        if (const auto [it, fresh] = seen.emplace(output, i); !fresh)
            throw user_error("\"" + options.inputs[it->second].string() + "\" and \"" + input.string() +
                             "\" would both be written to \"" + output.string() + "\"");
        outputs.push_back(output);
    }
    return outputs;
}

int run_batch(const batch_options &options) {
    if (options.settings.save_preset) throw user_error("--save-preset applies to one file, not to -o OUTDIR");
    const std::vector<fs::path> outputs = batch_outputs(options);
    std::error_code ec;
    fs::create_directories(options.output_folder, ec);
    if (ec || !fs::is_directory(options.output_folder))
        throw user_error("cannot use the folder \"" + options.output_folder.string() + "\" for the outputs" +
                         (ec ? ": " + ec.message() : ""));
    const std::size_t total = options.inputs.size();
    const unsigned wanted = std::max(1u, options.jobs == 0 ? usable_cores() : options.jobs);
    unsigned jobs = workers_allowed(wanted);
    if (jobs < wanted && options.jobs != 0)
        std::fprintf(stderr, "zentrova: --jobs %u is more than the open-file limit allows (ulimit -n); running %u at once\n",
                     wanted, jobs);

    batch_line line(!options.settings.quiet);
    std::map<pid_t, worker> running;
    std::vector<double> fractions(total, 0.0);
    std::vector<std::string> failed;
    std::size_t next = 0, done = 0;
    double seconds = 0;
    const auto started = std::chrono::steady_clock::now();

    while ((next < total && !interrupted()) || !running.empty()) {
        while (running.size() < jobs && next < total && !interrupted()) {
            // A worker that cannot be started (a limit reached after all: processes, memory) waits
            // for a running one to finish; with none running, its file fails and the batch goes on.
            // Either way the account of what was done is kept.
            int fds[2] = {-1, -1};
            pid_t pid = -1;
            int failure = ::pipe(fds) == 0 ? 0 : errno;
            if (failure == 0) {
                std::fflush(nullptr);
                pid = ::fork();
                if (pid < 0) {
                    failure = errno;
                    ::close(fds[0]);
                    ::close(fds[1]);
                }
            }
            if (failure != 0) {
                if (!running.empty()) {
                    jobs = static_cast<unsigned>(running.size());
                    break;
                }
                const std::string name = options.inputs[next].string();
                failed.push_back(name);
                fractions[next] = 1.0;
                line.say(name + ": cannot start a worker: " + std::strerror(failure));
                ++next;
                continue;
            }
            if (pid == 0) {
                ::close(fds[0]);
                for (const auto &[other, w] : running) ::close(w.pipe_fd);
                work(options, options.inputs[next], outputs[next], fds[1]);
            }
            ::close(fds[1]);
            worker started;
            started.file = next;
            started.pipe_fd = fds[0];
            running.emplace(pid, std::move(started));
            ++next;
        }
        if (running.empty()) continue;

        std::vector<pollfd> polled;
        for (const auto &[pid, w] : running) polled.push_back({w.pipe_fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), 200) < 0 && errno != EINTR)
            throw internal_error(std::string("waiting for the workers: ") + std::strerror(errno));
        // A signal sent to us alone (kill PID) reaches the workers too; from a terminal they have it already.
        if (interrupted())
            for (const auto &[pid, w] : running) ::kill(pid, interrupt_exit_status() - 128);

        std::set<int> ready;
        for (const pollfd &p : polled)
            if (p.revents != 0) ready.insert(p.fd);
        for (auto it = running.begin(); it != running.end();) {
            worker &w = it->second;
            if (ready.count(w.pipe_fd) == 0) {
                ++it;
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(w.pipe_fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                ++it;
                continue;
            }
            if (n > 0) {
                w.pending.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t end; (end = w.pending.find('\n')) != std::string::npos; w.pending.erase(0, end + 1)) {
                    const std::string text = w.pending.substr(2, end - 2);
                    if (w.pending[0] == 'p') fractions[w.file] = std::atof(text.c_str());
                    if (w.pending[0] == 'e') w.error = text;
                    if (w.pending[0] == 's') w.seconds = std::atof(text.c_str());
                    if (w.pending[0] == 't') w.temporary = text;
                }
                ++it;
                continue;
            }
            // End of the reports: the worker has finished.
            ::close(w.pipe_fd);
            int status = 0;
            while (::waitpid(it->first, &status, 0) < 0 && errno == EINTR) {
            }
            const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            if (ok) {
                ++done;
                seconds += w.seconds;
                fractions[w.file] = 1.0;
            } else {
                // Whatever the worker left unfinished goes (it removes its own when it can; not when killed).
                if (!w.temporary.empty()) ::unlink(w.temporary.c_str());
                const std::string &name = options.inputs[w.file].string();
                std::string why = w.error;
                if (why.empty())
                    why = WIFSIGNALED(status) ? std::string("the worker died: ") + strsignal(WTERMSIG(status))
                                              : "failed";
                failed.push_back(name);
                fractions[w.file] = 1.0;
                if (!interrupted()) line.say(name + ": " + why);
            }
            it = running.erase(it);
        }
        double sum = 0;
        for (double f : fractions) sum += std::clamp(f, 0.0, 1.0);
        line.draw(sum / static_cast<double>(total), done, failed.size(), total);
    }
    line.clear();
    if (interrupted()) {
        std::fprintf(stderr, "zentrova: interrupted; %zu of %zu files were written to \"%s\"\n", done, total,
                     options.output_folder.c_str());
        return interrupt_exit_status();
    }
    if (!options.settings.quiet) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%zu of %zu files done, %zu failed, into %s: %.1f s of audio in %.1f s on %u worker%s (%.0fx real time)\n",
                    done, total, failed.size(), options.output_folder.c_str(), seconds, elapsed, jobs,
                    jobs == 1 ? "" : "s", elapsed > 0 ? seconds / elapsed : 0.0);
        for (const auto &name : failed) std::printf("failed: %s\n", name.c_str());
    }
    return failed.empty() ? 0 : 1;
}

}  // namespace zentrova_cli
