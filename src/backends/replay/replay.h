// Recording live play and playing a recording back: two back ends that wrap another one.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "backends/replay/recording.h"
#include "platform/backend.h"

namespace platform {

// Play through `inner` (the SDL back end). With a writer, every clock reading the game takes,
// every message the window system delivers and whether a sound device opened are recorded; the
// trace ("<ms> <text>" a line: texts, sounds, message boxes, the exit) goes to traceOut when set.
// While recording, every trace line is stamped with a clock reading whether or not it is written
// anywhere, so that a replay takes the same readings whatever it traces to.
std::unique_ptr<Backend> makeRecordingBackend(std::unique_ptr<Backend> inner,
                                              std::unique_ptr<RecordWriter> writer,
                                              std::FILE* traceOut);

struct ReplayOptions {
    std::string source;             // the recording's file name, for messages
    std::FILE* traceOut = nullptr;  // the trace, as the headless runner writes it
    std::string endPicture;         // where the front surface goes when the recording ends; "" none
    uint32_t maxMs = 0xFFFFFFFFu;   // past this reading: "timeout", status 124
};

// Plays a recording back. Without a window back end it runs as fast as it can; with one it shows
// the game there, with sound, at the recorded pace, and the viewer's keys do not reach the game:
// Pause or closing the window ends the replay (status 0), Alt+Enter switches full screen. A
// recording that runs out ends with the trace line "end of recording" and status 0.
std::unique_ptr<Backend> makeReplayBackend(Recording recording, ReplayOptions options,
                                           std::unique_ptr<Backend> window);

}  // namespace platform
