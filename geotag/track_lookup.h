// Track lookup: the fix recorded when the photo in exifDateTime was taken.
#pragma once

// 0 when a record matched (left in matchLatitude/matchLongitude/matchLatRef/
// matchLonRef); non-zero when none did.
int findTrackFix();
