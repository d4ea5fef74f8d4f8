// The card check. (Stands aside until the window calls it needs land: no
// card is ever seen as new.)
#include "card/card_check.h"

DWORD cardSettleMilliseconds = 500;

void checkCard() {}
