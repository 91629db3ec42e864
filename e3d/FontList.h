// What a font needs of its screen: membership of the screen's font list.
#pragma once

class CE3DScreen;
class CE3DFont;

void E3DScreen_LinkFont(CE3DScreen* screen, CE3DFont* font);
void E3DScreen_UnlinkFont(CE3DScreen* screen, CE3DFont* font);
