#include "tool/system.h"

#include <cerrno>
#include <csignal>
#include <stdio.h>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <fcntl.h>
#include <filesystem>
#include <iconv.h>
#include <locale.h>
#include <malloc.h>
#include <wctype.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
void (*g_InterruptCleanup)() = nullptr;

void OnSignal(int signal) {
    g_InterruptCleanup();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
}  // namespace

void OnInterrupt(void (*cleanup)()) {
    g_InterruptCleanup = cleanup;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void WriteText(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool ListDirectory(const std::string& path, std::vector<std::string>* names, std::string* error) {
    std::error_code ec;
    std::filesystem::directory_iterator it(path, ec), end;
    for (; !ec && it != end; it.increment(ec)) names->push_back(it->path().filename().string());
    if (ec) *error = ec.message();
    return !ec;
}

bool StdinIsTerminal() { return isatty(0) == 1; }
bool StderrIsTerminal() { return isatty(2) == 1; }

static bool ReadLineFromStdin(std::string* line) {
    line->clear();
    if (!std::getline(std::cin, *line)) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

bool ReadSecretLine(const std::string& prompt, std::string* line) {
    WriteText(stderr, prompt);
    std::fflush(stderr);
    termios saved;
    bool restore = tcgetattr(0, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= ~(tcflag_t)ECHO;
        quiet.c_lflag |= ECHONL;
        tcsetattr(0, TCSAFLUSH, &quiet);
    }
    bool ok = ReadLineFromStdin(line);
    if (restore) tcsetattr(0, TCSAFLUSH, &saved);
    return ok;
}

bool ReadAnswerLine(const std::string& prompt, std::string* line) {
    WriteText(stderr, prompt);
    std::fflush(stderr);
    return ReadLineFromStdin(line);
}

// FILETIME counts 100-ns ticks from 1601-01-01; Unix time from 1970-01-01.
static uint64_t ToFileTime(const timespec& t) {
    const uint64_t EPOCH_DELTA = 116444736000000000ULL;
    if (t.tv_sec < 0) return 0;
    return EPOCH_DELTA + (uint64_t)t.tv_sec * 10000000ULL + (uint64_t)t.tv_nsec / 100;
}

std::string WhyCannotCreate(const std::string& path) {
    std::string folder = path;
    struct stat st;
    for (;;) {
        size_t slash = folder.find_last_of('/');
        if (slash == std::string::npos) folder = ".";
        else folder.erase(slash == 0 ? 1 : slash);
        if (lstat(folder.c_str(), &st) == 0 || folder == "." || folder == "/") break;
    }
    if (stat(folder.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
    return access(folder.c_str(), W_OK | X_OK) == 0 ? std::string() : std::strerror(errno);
}

bool ExaminePath(const std::string& path, PathInfo* info, std::string* error) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    info->isLink = S_ISLNK(st.st_mode);
    if (info->isLink && stat(path.c_str(), &st) != 0) {
        *error = std::string("a broken symbolic link (") + std::strerror(errno) + ")";
        return false;
    }
    info->isDirectory = S_ISDIR(st.st_mode);
    info->isRegular = S_ISREG(st.st_mode);
    info->readOnly = (st.st_mode & S_IWUSR) == 0;
    info->size = (uint64_t)st.st_size;
    info->lastWriteTime = ToFileTime(st.st_mtim);
    info->lastAccessTime = ToFileTime(st.st_atim);
    info->creationTime = info->lastWriteTime;
    return true;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool SystemCodepageChar(int codepage, uint8_t byte, uint32_t* codePoint) {
    std::string name = "CP" + std::to_string(codepage);
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd == (iconv_t)-1) return false;
    char in[1] = {(char)byte};
    unsigned char out[16];
    char* inAt = in;
    char* outAt = (char*)out;
    size_t inLeft = 1, outLeft = sizeof out;
    // The second call flushes a character held back to see whether a
    // combining mark follows (CP1255, CP1258).
    bool ok = iconv(cd, &inAt, &inLeft, &outAt, &outLeft) != (size_t)-1 &&
              iconv(cd, nullptr, nullptr, &outAt, &outLeft) != (size_t)-1;
    iconv_close(cd);
    if (!ok || sizeof out - outLeft != 4) return false;  // exactly one code point
    *codePoint = out[0] | (uint32_t)out[1] << 8 | (uint32_t)out[2] << 16 | (uint32_t)out[3] << 24;
    return true;
}

uint32_t SystemLowerCase(uint32_t codePoint) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    if (!utf8) return codePoint >= 'A' && codePoint <= 'Z' ? codePoint + 32 : codePoint;
    return (uint32_t)towlower_l((wint_t)codePoint, utf8);
}

void MapLargeBuffers() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

int HardwareThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : (int)n;
}

uint64_t OpenFileLimit() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 256;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : (uint64_t)limit.rlim_cur;
}

int RunProgram(const std::vector<std::string>& args, std::string* output) {
    output->clear();
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The child reports a failed exec through a pipe that closes on success.
    int out[2], failed[2];
    if (pipe(out) != 0) return -1;
    if (pipe2(failed, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return -1;
    }
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        close(failed[0]);
        execvp(argv[0], argv.data());
        char one = 1;
        (void)!write(failed[1], &one, 1);
        _exit(127);
    }
    close(out[1]);
    close(failed[1]);
    char buffer[4096];
    ssize_t got;
    while (child > 0 && ((got = read(out[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)))
        if (got > 0) output->append(buffer, (size_t)got);
    char flag;
    bool started = child > 0 && read(failed[0], &flag, 1) == 0;
    close(out[0]);
    close(failed[0]);
    int status = 0;
    if (child > 0)
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    if (!started) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool SystemRandom(uint8_t* out, size_t size) {
    while (size > 0) {
        ssize_t got = getrandom(out, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        size -= (size_t)got;
    }
    return true;
}
