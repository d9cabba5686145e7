// The kernel objects behind process and thread handles of the substitute.
#pragma once

#include <sys/types.h>

#include "kernel_object.h"

// A started child. Linux exit statuses hold 8 bits, Windows exit codes 32: a
// child that has a full code to report writes it as text (decimal or 0x
// hexadecimal) to the descriptor named by its environment variable
// WORKER_EXIT_CODE_FD; a code read from there replaces the exit status of a
// child that ended normally.
class ProcessObject : public KernelObject {
public:
    ProcessObject() = default;
    ~ProcessObject() override;
    // Takes over the child and the two descriptors.
    void Attach(pid_t pid, int processDescriptor, int exitCodeReader);
    ProcessObject(const ProcessObject&) = delete;
    ProcessObject& operator=(const ProcessObject&) = delete;

    pid_t Pid() const { return pid_; }
    // Readable (poll) once the child has ended; -1 when the kernel has none.
    int Descriptor() const { return processDescriptor_; }
    // Reaps the child when it has ended (or, with block, once it ends). True
    // then, with its exit code kept.
    bool TryReap(bool block = false);
    DWORD ExitCode() const { return exitCode_; }

private:
    pid_t pid_ = -1;
    int processDescriptor_ = -1;
    int exitCodeReader_ = -1;
    bool reaped_ = false;
    DWORD exitCode_ = 0;
};

// The primary thread of a child: only there to be closed.
class ThreadObject : public KernelObject {};

// Reaps, without waiting, children whose handles were closed while they ran.
void ReapAbandonedChildren();

// Name of the environment variable that tells a child where to write its
// full exit code.
inline constexpr const char* kExitCodeDescriptorVariable = "WORKER_EXIT_CODE_FD";
