// Diagnostic switches of a run: which traces the probability model, the
// taggers, the error counts and the training loop write. Every switch is off
// by default and no key of the argument file turns one on: they serve whoever
// debugs the code (a test, a debugger session). The model owns one record
// (Model::trace); a pass that traces differently from the rest of the run
// (the beam search at its highest output level, the explanation of an error)
// hands a modified copy down instead of changing the model's.
#pragma once

namespace vexta {

struct TraceSettings {
    int fDebug1 = 0;    // set while the training loop runs; read by no trace
    int fDebug2 = 0;    // probability model: raw scores and smoothing of a value
    int fDebug3 = -1;   // tag element whose errors the full training pass explains; -1 none
    int fDebug4 = 0;    // probability model: the best value
    int fDebug5 = 0;    // probability model: feature counts, scores per value
    int fDebug6 = 0;    // probability model: line set-up, terms, best value
    int fDebug7 = 0;    // probability model: line set-up, scores, terms
    int fDebug8 = 0;    // training: candidate features and changed errors
    int fDebug9 = 0;    // read by no trace
    int fDebug10 = 0;   // beam search: every step of the forward and backward pass
    int fDebugFull = 0; // beam search and probability model: full trace on standard output

    // Whether the probability model writes any trace. While it does, callers
    // neither skip nor reuse a computation, so that every trace is written.
    bool ProbsOn() const {
        // One test of all switches together (it runs on every computation).
        return (fDebug2 | fDebug4 | fDebug5 | fDebug6 | fDebug7 | fDebug10 | fDebugFull) != 0;
    }

    // Clears a switch that traces one call only. It is written only when
    // set, so that passes running at once with the switch off only read it.
    static void Clear(int& fSwitch) {
        if (fSwitch) fSwitch = 0;
    }
};

} // namespace vexta
