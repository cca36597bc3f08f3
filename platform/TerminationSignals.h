#pragma once
// A session that ends (logout, shutdown, `kill`) sends SIGTERM or SIGHUP;
// turning those into an ordinary quit lets the windows close and the browser
// profile write its cookies before the process ends.

// Window thread, once a QCoreApplication exists.
void QuitOnTerminationSignals();
