// The Windows build's SDL, as tools/windows-deps.sh builds it, on a real display: its
// drivers are the ones the game expects, and a window with an OpenGL context (WGL, Wine's
// OpenGL under an X server) shows the colour it was cleared to.
#ifndef SDL_MAIN_HANDLED
#define SDL_MAIN_HANDLED
#endif
#include <SDL.h>
#include <SDL_opengl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

bool has_audio_driver(const std::string& name) {
  for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) {
    if (name == SDL_GetAudioDriver(i)) return true;
  }
  return false;
}

}  // namespace

TEST(WindowsSdl, SoundGoesThroughWasapiFirst) {
  ASSERT_GT(SDL_GetNumAudioDrivers(), 0);
  EXPECT_STREQ(SDL_GetAudioDriver(0), "wasapi");
  EXPECT_TRUE(has_audio_driver("directsound"));
}

TEST(WindowsSdl, AnOpenGLWindowShowsTheColourItWasClearedTo) {
  SDL_SetMainReady();
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0)
      << "SDL's video did not start: " << SDL_GetError();
  EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "windows");
  SDL_Window* window = SDL_CreateWindow("gl check", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        64, 48, SDL_WINDOW_OPENGL);
  ASSERT_NE(window, nullptr) << "no window (Wine needs an X server: run this under xvfb-run): "
                             << SDL_GetError();
  SDL_GLContext context = SDL_GL_CreateContext(window);
  ASSERT_NE(context, nullptr) << SDL_GetError();
  const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  ASSERT_NE(version, nullptr);
  ASSERT_NE(renderer, nullptr);
  ::testing::Test::RecordProperty("gl", std::string(version) + " / " + renderer);
  std::printf("GL %s / %s\n", version, renderer);

  glViewport(0, 0, 64, 48);
  glClearColor(0.0f, 0.2f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glFinish();
  unsigned char pixel[4] = {};
  glReadPixels(32, 24, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ(pixel[0], 0);
  EXPECT_EQ(pixel[1], 51);
  EXPECT_EQ(pixel[2], 255);
  SDL_GL_SwapWindow(window);

  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
}
