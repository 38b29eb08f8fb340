// The built-in demo (--demo): about a minute of the main features, then it starts again.
// Written in the scenario format so it doubles as an example script.
#include "common/app/scenario_script.h"

const char* demoScenarioText() {
    return R"(# Built-in demo: engage a pointer, steer it, paint by gripping, draw a line,
# undo, use both hands, tilt the camera and perform whole-arm gestures. Loops.
echo demo: standing at rest
rest 1000

# Holding the right hand forward engages its pointer; then it sweeps the screen.
echo demo: the right hand held forward steers its pointer
move right 0.25 0.15 700
reach right forward 500
hold 700
move right 0.05 0.35 1200
move right 0.45 0.35 1200
move right 0.45 -0.05 1200
move right 0.05 -0.05 1200
move right 0.25 0.15 900

# Painting: the canvas and the brush, then grip (close the hand) and drag.
echo demo: painting with a closed hand
key p
key 3
move right 0.10 0.30 600
close right
hold 400
move right 0.40 0.30 1500
move right 0.40 0.05 1200
open right
hold 300
move right 0.15 0.05 800
close right
hold 400
move right 0.30 0.25 1200
move right 0.20 0.10 900
open right
hold 400

# A straight line, then undo it.
echo demo: a straight line, then undo
key 4
move right 0.10 0.00 700
close right
hold 400
move right 0.45 0.20 1200
open right
hold 600
key 8
hold 600

# The left hand joins with its own pointer.
echo demo: both hands
move left -0.25 0.15 700
reach left forward 500
move left -0.40 0.30 900
move left -0.10 0.00 900
reach both back 600
rest 1000

# The camera tilts up and back down.
echo demo: camera tilt
key up
hold 1000
key down
hold 1000

# Whole-arm gestures, each a clear movement between stills.
echo demo: whole-arm gestures
key p
gesture right_circle
rest 1200
gesture right_swipe
rest 1200
gesture both_y
rest 1200
gesture wave
rest 1200
gesture push
rest 1200
gesture left_circle
rest 1200
gesture right_raise
rest 1200
gesture left_side_raise
rest 1200
gesture clap
rest 1500
loop
)";
}

const char* terrainDemoScenarioText() {
    return R"(# Built-in demo of the terrain modeller: raise hills, dig, smooth, roughen, paint the colour
# map and orbit the camera, all with the right hand. Loops; the orbit turns the camera back
# each time, so that every loop sees the terrain from about the same place.
echo demo: the right hand held forward aims at the terrain
rest 800
move right 0.25 0.15 600
reach right forward 400
hold 800

echo demo: the terra brush raises a hill where the hand grips
key 2
close right
hold 1500
open right
hold 300
move right 0.15 0.20 700
close right
hold 1200
move right 0.20 0.25 800
open right
hold 400

echo demo: the dump brush heaps, the smooth brush softens
key 6
move right 0.33 0.12 700
close right
hold 1200
open right
hold 300
key 3
move right 0.22 0.17 600
close right
move right 0.30 0.12 1500
open right
hold 400

echo demo: the randomise brush roughens
key 4
move right 0.10 0.10 700
close right
hold 1200
open right
hold 400

echo demo: a new colour, then the colour brush
key 8
close right
move right 0.40 0.15 500
open right
hold 300
key 7
move right 0.15 0.05 600
close right
move right 0.35 0.05 1500
open right
hold 400

echo demo: orbiting the camera, then back along the same path
key 1
close right
move right 0.45 0.20 1500
move right 0.10 0.20 2000
open right
hold 600
close right
move right 0.45 0.20 2000
move right 0.35 0.05 1500
open right
hold 400
reach right back 400
rest 1500
loop
)";
}

bool loadTerrainDemoScenario(Scenario& out, std::string& error) {
    return parseScenario(terrainDemoScenarioText(), "<demo>", out, error);
}
