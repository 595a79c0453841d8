// Every Windows test executable runs inside a job object that ends, when the
// test process ends (however it ends), every process it started and every
// process those started. Under Wine a child started without a console gets
// a headless conhost.exe that can outlive a child ended by TerminateProcess;
// it inherits the test's output pipe, and the test runner then waits on that
// pipe until its time-out although every case has passed.
#pragma once

// Puts the calling process into such a job; false when the system refused
// (the caller goes on, without the guarantee).
bool EndChildrenWithThisProcess();
