// What a synthesis candidate needs after its dimensions were written into
// the mechanism record: the drive-independent facts, the drive mark and a
// plan at tt0.
#pragma once

// Redoes the pre-analysis, marks the drive and plans again at tt0 (the
// order a plan takes can change with the values), the branch signs reset.
// 1 when the mechanism then assembles at tt0.
int rebuild_candidate();
