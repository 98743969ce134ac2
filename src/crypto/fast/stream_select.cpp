// Chooses and installs a stream path.
#include "crypto/fast/stream_fast.h"

bool StreamPathAvailable(StreamPath path) {
    switch (path) {
    case STREAM_PATH_BYTES:
    case STREAM_PATH_WORDS:
        return true;
    case STREAM_PATH_AESNI:
        return AesniSupported();
    }
    return false;
}

bool UseStreamPath(StreamPath path) {
    if (!StreamPathAvailable(path)) return false;
    switch (path) {
    case STREAM_PATH_BYTES:
        SetStreamAccelerator(nullptr, nullptr);
        UseAesInstructions(false);
        break;
    case STREAM_PATH_WORDS:
        SetStreamAccelerator(DecryptStreamWords, EncryptStreamWords);
        break;
    case STREAM_PATH_AESNI:
        SetStreamAccelerator(nullptr, EncryptStreamAesni);
        UseAesInstructions(true);
        break;
    }
    return true;
}

StreamPath UseFastestStreamPath() {
    StreamPath path = StreamPathAvailable(STREAM_PATH_AESNI) ? STREAM_PATH_AESNI : STREAM_PATH_WORDS;
    UseStreamPath(path);
    return path;
}
