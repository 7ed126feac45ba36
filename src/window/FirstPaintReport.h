#pragma once

namespace korimado {

// With KORIMADO_REPORT_FIRST_PAINT set, the first editor to paint its text prints when that
// happened, as "first_paint_ms: N" (since the process started) and "first_paint_epoch_ms: N"
// (wall clock), and the program quits; KORIMADO_REPORT_FIRST_PAINT_HOLD_MS keeps it running that
// much longer first, so that what starts after the paint is measured too. Only the first call
// counts.
void reportFirstPaint();

}  // namespace korimado
