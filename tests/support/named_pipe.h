// A named pipe through which a child process tells a test that it has got
// somewhere: the test waits for the child's words, not for a clock.
#pragma once

#include <string>

class NamedPipe {
public:
    explicit NamedPipe(std::string path);
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    const std::string& Path() const { return path_; }

    // Everything that a writer writes until it closes the pipe. A writer
    // that has not come after a minute never will: that is a failure (an
    // exception), not a case to wait out.
    std::string ReadFromWriter();

private:
    std::string path_;
};
