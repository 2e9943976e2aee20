// The qvr subcommands. Each takes the arguments after its own name and returns the
// process exit status.
#pragma once

int CmdDrives(int argc, char** argv);
int CmdScan(int argc, char** argv);
int CmdCat(int argc, char** argv);
int CmdLs(int argc, char** argv);
int CmdRecover(int argc, char** argv);
int CmdMftDump(int argc, char** argv);
int CmdCarve(int argc, char** argv);
