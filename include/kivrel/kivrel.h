// Kivrel: extracts the outline (headings with page, point, text, position) of
// a laid-out document given as a record stream.
#ifndef KIVREL_KIVREL_H_
#define KIVREL_KIVREL_H_

#include "kivrel/kiv_map.h"
#include "kivrel/kivrant.h"
#include "kivrel/log_decoder.h"
#include "kivrel/outline.h"
#include "kivrel/progress.h"
#include "kivrel/quality.h"
#include "kivrel/record_writer.h"
#include "kivrel/settings.h"
#include "kivrel/version.h"

#endif  // KIVREL_KIVREL_H_
