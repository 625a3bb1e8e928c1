// Runs one command as a whole process and prints its wall time in seconds,
// its peak resident memory in KiB and its exit status. The command's output
// goes to /dev/null, or to PATH with --stdout (a pseudo-terminal, say).
//
//   bench_measure [--stdout PATH] COMMAND [ARG...]
#include <chrono>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int first = 1;
    const char* output = "/dev/null";
    if (argc > 2 && std::strcmp(argv[1], "--stdout") == 0) {
        output = argv[2];
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: bench_measure [--stdout PATH] COMMAND [ARG...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        const int fd = open(output, O_WRONLY | O_NOCTTY);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(126);
        execvp(argv[first], argv + first);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return 1;
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("%.6f %ld %d\n", wall.count(), usage.ru_maxrss, exitCode);
    return 0;
}
