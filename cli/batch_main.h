#pragma once
// The whole batch runner behind main(): parses the command line, runs the command and
// turns every error into its message and exit status.

int batch_main(int argc, char** argv);
