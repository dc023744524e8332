// Recording: the dialog manager's "Record:" has set RecordingParams and asked
// the hub to record; the audio service then calls TakeAudio with a broker
// proxy of 16-bit samples and the sample rate. The bridge receives the audio
// through an in-broker and appends it to "Recordings/<name>.raw" (signed
// 16-bit samples of this machine's byte order, no header) while the running
// count stays within the max time and the terminator key has not been
// reported; each chunk past that is dropped and answered with "dialog"
// :stop_sampling. When the audio ends, or its stream breaks, sox turns the
// raw file into "Recordings/<name>.wav" at the hub's rate and the dialog
// manager gets ":utt none\t:conf 0.99\t:noinput 0\t:semantic none"; the
// command relay then goes on. A recording that cannot run (no ":proxy", a
// rate below 1, a sender that cannot be reached) ends the same way at once.
//
// The max time is a VoiceXML time ("Ns", "Nms", or a number of seconds);
// empty or unreadable, 20 seconds. The terminator "true" or empty: any key
// reported during the recording ends it; "false": none does; any other text:
// that key.
//
// Neither file is ever written through a symbolic link: a link at the raw
// path is refused, and sox writes the WAV file in a folder of its own, from
// where it replaces whatever stands at the WAV path. A name that is empty or
// holds '/', '\\', ".." or a control character, like a raw file that cannot
// be created, prints "ERROR : [Play] Can't write to file : <path>" and the
// recording ends at once as an empty one: the dialog manager gets its answer
// as above and the call goes on; nothing is converted.
#pragma once
#include <cstdint>

#include "libhub/frames/Frame.h"

struct Hub_CallEnvironment;

// Hub operation 9: starts a recording; a second one while a recording runs
// only prints "WARNING [Play] : In proxy already exists\n". Gives null.
Hub_Frame* TakeAudio(Hub_Frame* frame, Hub_CallEnvironment* env);
// The broker data callback: one chunk of samples (the object is destroyed).
void AudioOutputCallback(Hub_CallEnvironment* env, int32_t objectType, Hub_Object* object,
                         void* serverData);
// The broker finaliser, also run when the stream breaks: ends the recording.
void AudioOutputFinalizer(Hub_CallEnvironment* env, int32_t objectType, void* serverData);
