#pragma once
// Every image either program loads, as written in the code ("../images/" relative to the
// working directory; texture.h finds the folder). The images are drawn by
// assets/generate_images.py; a test checks that each one exists and decodes.
#include <array>

constexpr std::array<const char*, 43> ALL_IMAGE_PATHS = {{
    // Buttons (shared background, then each button's icon).
    "../images/button_background.png",
    "../images/train_button.png",
    "../images/add_button.png",
    "../images/remove_button.png",
    "../images/replace_button.png",
    "../images/prev_button.png",
    "../images/next_button.png",
    "../images/prev2_button.png",
    "../images/next2_button.png",
    "../images/exit_button.png",
    "../images/new_button.png",
    "../images/menu_button.png",
    // Tool icons of the painting program (also buttons of the terrain menu).
    "../images/manipulator.png",
    "../images/colorpicker.png",
    "../images/brushtool.png",
    "../images/straightline.png",
    "../images/filltool.png",
    "../images/rubbertool.png",
    "../images/trashtool.png",
    // Terrain tools.
    "../images/camera_3d.png",
    "../images/terra_brush.png",
    "../images/smooth_brush.png",
    "../images/randomize_brush.png",
    "../images/bulldoze_brush.png",
    "../images/dump_brush.png",
    // Hand pointers.
    "../images/pointer_default.png",
    "../images/pointer_closed_hand.png",
    // Countdown digits, index = digit.
    "../images/zero.png",
    "../images/one.png",
    "../images/two.png",
    "../images/three.png",
    "../images/four.png",
    "../images/five.png",
    "../images/six.png",
    "../images/seven.png",
    "../images/eight.png",
    "../images/nine.png",
    // Backgrounds, frame, the terrain's colour map and paint mask, the font atlases.
    "../images/training_bg.png",
    "../images/frame.png",
    "../images/grey512.png",
    "../images/colorbrush_half_sharp.png",
    "../images/capitals.png",
    "../images/minuscules.png",
}};
