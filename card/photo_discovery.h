// Photo discovery: lists the JPEGs in \SDMMC\DCIM and one folder level below.
#pragma once

// 1 when the DCIM search yields no entry at all; 0 after a completed search.
int discoverPhotos();
