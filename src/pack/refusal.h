// Deep checks of the resource editor and the picture loader end the whole
// operation by throwing a Refusal; the public functions catch it and return
// its reason, so that callers see one message and no exception.
#pragma once
#include <string>

struct Refusal {
    std::string why;
};

[[noreturn]] inline void Refuse(const std::string& why) { throw Refusal{why}; }

// Runs `work`; empty when it went through, else why it was refused.
template <typename Work>
std::string ReasonOf(Work work) {
    try {
        work();
    } catch (const Refusal& r) {
        return r.why;
    }
    return std::string();
}
