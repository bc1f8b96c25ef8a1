#ifndef VELLMARK_DRIVER_H
#define VELLMARK_DRIVER_H

// Runs the whole program on a command line; returns the exit status, 0 or 1.
int driver_main(int argc, char** argv);

#endif
