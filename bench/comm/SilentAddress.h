#pragma once
// What a silent address costs the master: reads sent in turn to addresses nobody answers, as a search
// over empty addresses does, timed against the (retries + 1) x timeout they must wait.

namespace bench {

struct TSilentCost {
    double Ratio = 0; // mean time per address over (retries + 1) x timeout; 0 when it could not run
    int Answered = 0; // reads that did not fail (there should be none)
};

// sameAddress: every read to the one address, as the supervision of a silent module polls it; each then
// also waits a quiet timeout before it is sent.
TSilentCost MeasureSilentAddresses(int timeoutMs, int retries, int addresses, bool sameAddress = false);

} // namespace bench
