// Every way out of tarvik11-cli writes back the bytes our SWIs displaced: a program that runs
// with breakpoints planted (and has already stopped at one, its "J" waiting) is left clean when
// the front end gets SIGTERM, SIGHUP or Ctrl-C at its prompt. The board runs as its own process,
// so its memory is read afterwards by a fresh front end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// A child process with its standard input and output on pipes.
struct Child {
    pid_t pid = -1;
    int in = -1;  // its standard input
    int out = -1; // its standard output and error

    static Child start(const std::vector<std::string>& argv)
    {
        int toChild[2];
        int fromChild[2];
        Child c;
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
            return c;
        c.pid = ::fork();
        if (c.pid == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::dup2(fromChild[1], 2);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        c.in = toChild[1];
        c.out = fromChild[0];
        return c;
    }

    void send(const std::string& text) { ASSERT_EQ(::write(in, text.data(), text.size()), ssize_t(text.size())); }

    // Reads until the output holds text (or 60 s pass); the output so far.
    std::string readUntil(const std::string& text)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (output.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buffer[1024];
            const ssize_t got = ::read(out, buffer, sizeof buffer);
            if (got <= 0)
                break;
            output.append(buffer, static_cast<size_t>(got));
        }
        return output;
    }

    // Waits for the process to end; its exit code, or -1 when a signal ended it.
    int wait()
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(in);
        ::close(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string output;
};

std::string linkPath()
{
    return "/tmp/tarvik11-signal-test-" + std::to_string(::getpid());
}

} // namespace

TEST(CliSignals, everyWayOutWritesThePlantedBytesBack)
{
    const std::string link = linkPath();
    Child board = Child::start({TARVIK11_BOARD, "--link", link, "--speed", "max"});
    ASSERT_GT(board.pid, 0);
    ASSERT_NE(board.readUntil("ready").find("ready"), std::string::npos) << board.output;
    const std::string loops = std::string(TARVIK11_EXAMPLES_DIR) + "/loops.s19";

    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        ::kill(board.pid, SIGUSR1); // RESET: the boot loader waits for the talker
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Child cli = Child::start({TARVIK11_CLI, "--port", link, "--delay", "1000"});
        cli.send("boot --mode special-test\nload " + loops + "\nbreak $c01f\nrun $c000\n");
        ASSERT_NE(cli.readUntil("Executing program").find("Executing program"), std::string::npos) << cli.output;
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the program reaches $c01f
        ::kill(cli.pid, signal);
        EXPECT_EQ(cli.wait(), 1) << cli.output;

        ::kill(board.pid, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Child check = Child::start({TARVIK11_CLI, "--port", link, "--delay", "1000", "-c",
                                    "boot --mode special-test; dump $c010 $c01f"});
        const std::string out = check.readUntil("Memory dump successful");
        EXPECT_EQ(check.wait(), 0) << out;
        // $c01f is the last byte of the line: "deca" ($4a), not our SWI.
        EXPECT_NE(out.find("$c010 - 5f e7 00 08 5c c1 10 25 f8 86 10 5f 5a 26 fd 4a"), std::string::npos) << out;
    }
    ::kill(board.pid, SIGTERM);
    board.wait();
}
