#pragma once
// What one lost request costs the master, against a slave that answers in order on 127.0.0.1: reads back
// to back, one of which the slave never gets; the time beyond the same reads on a healthy line, as a
// ratio to the Timeout. The retry (or the next read) and the fence that puts the slave back in step
// add a round trip each; the wait for the lost answer is the Timeout.

namespace bench {

struct TLostCost {
    double Ratio = 0; // extra time over the Timeout; 0 when it could not run
    int Failed = 0;   // reads that failed (the lost one with retries 0)
    int Fences = 0;   // fences the master sent
};

TLostCost MeasureLostRequest(int timeoutMs, int retries, int reads);

} // namespace bench
