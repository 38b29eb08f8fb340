#pragma once
// The gesturetool commands. Each takes the arguments after its name and returns the exit code.
int runPoses(int argc, char** argv);      // gesturetool poses STREAM
int runConvert(int argc, char** argv);    // gesturetool convert STREAM OUT.rec
int runTrain(int argc, char** argv);      // gesturetool train ...
int runRecognize(int argc, char** argv);  // gesturetool recognize ...
int runInspect(int argc, char** argv);    // gesturetool inspect SETS.bin
