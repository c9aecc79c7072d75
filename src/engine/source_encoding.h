// Where the vocabulary of source encodings lay before it moved down to text/: its includers move
// to text/source_encoding.h (and the converter's inputs to engine/encoding_detection.h).
#pragma once

#include "engine/encoding_detection.h"
#include "text/source_encoding.h"
