#include "pack/output_sink.h"

#include <algorithm>

namespace {
const size_t SINK_BUFFER = 256 * 1024;
}

bool SinkFlush(OutputSink* sink) {
    if (sink->failed) return false;
    if (sink->memory || sink->pending.empty()) return true;
    // PlatformWrite takes 32-bit sizes; the buffer never grows past SINK_BUFFER.
    if (!PlatformWrite(sink->file, sink->pending.data(), (uint32_t)sink->pending.size()))
        sink->failed = true;
    sink->pending.clear();
    return !sink->failed;
}

bool SinkWrite(OutputSink* sink, const void* data, size_t size) {
    if (sink->failed) return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    sink->written += size;
    if (sink->memory) {
        sink->memory->insert(sink->memory->end(), bytes, bytes + size);
        return true;
    }
    while (size > 0) {
        size_t room = SINK_BUFFER - sink->pending.size();
        size_t n = std::min(room, size);
        sink->pending.insert(sink->pending.end(), bytes, bytes + n);
        bytes += n;
        size -= n;
        if (sink->pending.size() == SINK_BUFFER && !SinkFlush(sink)) return false;
    }
    return true;
}
