// Draws every picture the game embeds and writes them as PNG files.
// Usage: art ASSET_DIR [--preview DIR]
//        art --icons DIR
//   ASSET_DIR receives whirlbat_01.png (sprite sheet), whirlbat_02.png (background),
//   dmpointer.png and owlogo.png. --preview also writes enlarged copies and mock-up
//   screens to DIR for looking at. --icons writes the desktop icon in the hicolor
//   theme's sizes as DIR/NxN/rc-whirlbat.png.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "canvas.h"
#include "icon.h"
#include "preview.h"
#include "scenery.h"
#include "sprites.h"
#include "tiles.h"
#include "title.h"

namespace {

// The sheet's layout is fixed by the game's loader, which grabs each frame from it.
Picture SpriteSheet() {
  Picture sheet(640, 278);
  for (int i = 0; i < 8; ++i) Blit(sheet, HeliFrame(i), 1 + 19 * i, 1);
  for (int i = 0; i < 2; ++i) Blit(sheet, BladeFrame(i), 155 + 57 * i, 1);
  for (int i = 0; i < 4; ++i) Blit(sheet, RocketFrame(i), 155 + 19 * i, 8);
  for (int i = 0; i < 10; ++i) Blit(sheet, TileFrame(i), 1 + 33 * i, 53);
  Blit(sheet, TitleLogo(), 0, 87);
  Blit(sheet, HudBar(), 0, 240);
  return sheet;
}

bool Save(const std::string& path, const Picture& pic) {
  if (WritePng(path, pic)) return true;
  std::fprintf(stderr, "art: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

bool SaveIcons(const std::string& dir) {
  for (int size : kIconSizes) {
    const std::string folder = dir + "/" + std::to_string(size) + "x" + std::to_string(size);
    mkdir(dir.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    if (!WriteRgbaPng(folder + "/rc-whirlbat.png", AppIcon(size))) {
      std::fprintf(stderr, "art: cannot write %s/rc-whirlbat.png\n", folder.c_str());
      return false;
    }
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--icons") return SaveIcons(argv[2]) ? 0 : 1;
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--preview")) {
    std::fprintf(stderr, "usage: %s ASSET_DIR [--preview DIR]\n       %s --icons DIR\n", argv[0], argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  const Picture sheet = SpriteSheet();
  const Picture back = Airfield();
  const Picture pointer = Pointer();
  const Picture studio = StudioLogo();
  bool ok = Save(out + "/whirlbat_01.png", sheet) && Save(out + "/whirlbat_02.png", back) &&
            Save(out + "/dmpointer.png", pointer) && Save(out + "/owlogo.png", studio);
  if (ok && argc == 4) {
    const std::string dir = argv[3];
    ok = Save(dir + "/sheet_x4.png", Enlarge(sheet, 4)) &&
         Save(dir + "/sheet_top_x8.png", Enlarge(
                                             [&] {
                                               Picture top(240, 88);
                                               for (int y = 0; y < 88; ++y)
                                                 for (int x = 0; x < 240; ++x)
                                                   for (int c = 0; c < 3; ++c)
                                                     top.At(x, y)[c] = sheet.At(x, y)[c];
                                               return top;
                                             }(),
                                             8)) &&
         Save(dir + "/tiles_x8.png", Enlarge(
                                         [&] {
                                           Picture row(332, 34);
                                           for (int y = 0; y < 34; ++y)
                                             for (int x = 0; x < 332; ++x)
                                               for (int c = 0; c < 3; ++c)
                                                 row.At(x, y)[c] = sheet.At(x, y + 52)[c];
                                           return row;
                                         }(),
                                         4)) &&
         Save(dir + "/pointer_x8.png", Enlarge(pointer, 8)) &&
         Save(dir + "/arena.png", ArenaScene(sheet, back)) &&
         Save(dir + "/arena_x2.png", Enlarge(ArenaScene(sheet, back), 2)) &&
         Save(dir + "/title.png", TitleScene(sheet, back, pointer));
  }
  return ok ? 0 : 1;
}
