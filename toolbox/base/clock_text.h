// clock_text.h - seconds written as a clock reading, for labels and progress:
// "m:ss" or, with decimals, "m:ss.dd"; "h:mm:ss" from one hour on. Negative
// times get a leading '-'. Rounding is to the last digit shown; at most six
// decimals.
#ifndef LUMAGROVE_CLOCK_TEXT_H
#define LUMAGROVE_CLOCK_TEXT_H

#include <string>

std::string ClockText(double seconds, int decimals);

#endif
