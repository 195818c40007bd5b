#pragma once

// The runner window's pictures, drawn in code so that no image files are needed.

#include "batch/TBatchObserver.h"

#include <QPixmap>

/// Side of a state picture in pixels.
constexpr int StatePictureSize = 18;

/// The 18 × 18 state picture of a row: grey cross (failed), green tick (succeeded), red arrow
/// pointing right (running); a transparent picture for a row not run, so texts stay aligned.
QPixmap StatePicture(TRowState state);

/// The 32 × 32 picture of two gears beside the title line.
QPixmap GearsPicture();
