// The ends of a call that the dialog manager does not announce: the hub hangs
// up (EndSession), or the hub's connection is lost.
//
// A call runs on the hub connection BeginSession came on, from the moment
// "Begin" went to the dialog manager until the dialog manager ends the
// dialogue (its "Koniec dialogu", or its connection closing: CommandRelay.h).
// When that connection ends meanwhile, whether between operations or while
// the bridge awaits the hub's reply to a frame it sent, the bridge prints
// "\nThe hub's connection was lost; the call is stopped.\n" and ends the
// dialogue as a hang-up does, with status 1. The loss of a connection before
// BeginSession, of another connection, or after the dialogue's end changes
// nothing: the bridge serves on. The library's warnings about the loss stay
// as they are.
#pragma once

struct Hub_CallEnvironment;

// The hang-up's end: "End" to the dialog manager, its one reply awaited at
// most 3000 ms, a pause of 1000 ms, then the process ends with the status.
[[noreturn]] void EndDialogue(int status);

// The call now runs on the environment's connection.
void WatchHubConnection(Hub_CallEnvironment* env);
// The dialogue has ended: a lost connection changes nothing from now on.
void ForgetHubConnection();
// After the bridge awaited the hub's reply: ends the call when the call's
// connection was lost meanwhile.
void StopCallIfHubLost(Hub_CallEnvironment* env);
