// The hub operations of the bridge (TakeAudio is in Recording.h). Each takes
// the incoming frame (the library's) and the call environment, sends the
// dialog manager one message when it has one, runs the command relay and
// gives a reply frame or null. A text key missing from the frame reads as the
// empty text, after a warning. A hub text that becomes a field's value (the
// utterance, the semantic text, the key) has its TABs, CRs, LFs and NULs
// replaced by blanks, so the dialog manager always gets exactly its fields.
//
//   BeginSession           with "-INITASR" first "dialog" :prepare_group
//                          :group_name "init", "dialog" :start_sampling
//                          :testmode 1 and a pause of 1000 ms (the console
//                          written first); "Begin", from which on the call
//                          runs on this connection (CallEnd.h); a frame "reply"
//   ProcessParse           ":utt U\t:conf C\t:noinput N\t:semantic S" (with
//                          :noinput 1: "NOINPUT" and 0; C as "%G", and 0
//                          when it is no finite number)
//   EndSession             "End", one reply awaited at most 3000 ms, a pause of
//                          1000 ms, then the process ends with status 0
//                          (EndDialogue, CallEnd.h)
//   reset_dm               nothing
//   AfterPlaying           "OK"
//   ProcessISInfo          the ":outframe" text as it is (a list of fields
//                          itself); a frame "reply"
//   ProcessDTMF            ":DTMFchar " and the ":char" text
//   ProcessUnexpectedDTMF  no message: the ":char" text becomes LastDTMFChar
#pragma once
#include "libhub/frames/Frame.h"

struct Hub_CallEnvironment;

Hub_Frame* BeginSession(Hub_Frame* frame, Hub_CallEnvironment* env);
Hub_Frame* ProcessParse(Hub_Frame* frame, Hub_CallEnvironment* env);
Hub_Frame* EndSession(Hub_Frame* frame, Hub_CallEnvironment* env);
Hub_Frame* reset_dm(Hub_Frame* frame, Hub_CallEnvironment* env);
Hub_Frame* AfterPlaying(Hub_Frame* frame, Hub_CallEnvironment* env);
Hub_Frame* ProcessISInfo(Hub_Frame* frame, Hub_CallEnvironment* env);
Hub_Frame* ProcessDTMF(Hub_Frame* frame, Hub_CallEnvironment* env);
Hub_Frame* ProcessUnexpectedDTMF(Hub_Frame* frame, Hub_CallEnvironment* env);
