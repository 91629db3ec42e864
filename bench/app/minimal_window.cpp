// The start-up baselines: the least a program does to show its first frame
// with SDL2 and OpenGL, as the game does (a 640 x 480 window, a 3.3 core
// context, one cleared frame presented). With the argument "blit" the frame
// is drawn into an off-screen framebuffer and copied to the window turned
// over, as the game presents its back buffer: the software renderer makes its
// copying shaders for that. It prints "first frame" once the frame is
// presented and ends. bench/app/startup_time.sh measures both beside the game
// in the same run.
//
// The same program is the floor of the running game's figures:
//   minimal_window triangles <count> <seconds>  draws about <count> lit
//     triangles from static buffers (200 meshes of one shared sphere, one
//     program, depth test) into the 640 x 480 window as fast as it can for
//     <seconds>, and prints
//     "frames per second F" and "main thread M ms per frame" (the thread's
//     own processor time): bench/app/game_frame_rate.sh's floor;
//   minimal_window idle <seconds> [rate]  presents a cleared frame rate times
//     a second (15, as the game's menus left alone run) and sleeps between,
//     and prints "cpu S seconds per second": bench/app/game_cpu.sh's floor.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

GLuint Shader(GLenum type, const char* text) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    return s;
}

// Draws count triangles as 200 meshes of count / 200 lit triangles each (one
// shared sphere in static vertex and index buffers, drawn at 200 places in
// two blocks of 10 x 10, as the game's 200 tanks stand), frame after frame,
// for the seconds given.
int DrawTriangles(SDL_Window* window, int w, int h, int count, double seconds) {
    const int meshes = 200, slices = 12;
    const int stacks = std::max(2, (count / meshes + 2 * slices - 1) / (2 * slices) + 1);
    std::vector<float> v;
    for (int i = 0; i <= stacks; ++i) {
        const float a = float(M_PI) * float(i) / float(stacks);
        for (int j = 0; j <= slices; ++j) {
            const float b = 2.0f * float(M_PI) * float(j) / float(slices);
            const float nx = std::sin(a) * std::cos(b), ny = std::cos(a), nz = std::sin(a) * std::sin(b);
            v.insert(v.end(), {0.04f * nx, 0.05f * ny, 0.04f * nz, nx, ny, nz});
        }
    }
    std::vector<uint16_t> index;
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const uint16_t p = uint16_t(i * (slices + 1) + j), q = uint16_t(p + slices + 1);
            if (i > 0) index.insert(index.end(), {p, q, uint16_t(p + 1)});
            if (i + 1 < stacks) index.insert(index.end(), {uint16_t(p + 1), q, uint16_t(q + 1)});
        }
    GLuint vao = 0, vbo = 0, ibo = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * sizeof(float)), v.data(), GL_STATIC_DRAW);
    glGenBuffers(1, &ibo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(index.size() * 2), index.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 24, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 24, reinterpret_cast<void*>(12));
    GLuint program = glCreateProgram();
    glAttachShader(program, Shader(GL_VERTEX_SHADER,
                                   "#version 330 core\n"
                                   "layout(location = 0) in vec3 aPos;\n"
                                   "layout(location = 1) in vec3 aNormal;\n"
                                   "uniform vec2 uAt;\n"
                                   "out vec3 vColor;\n"
                                   "void main() {\n"
                                   "  float l = max(dot(aNormal, normalize(vec3(0.3, 1.0, 0.2))), 0.0);\n"
                                   "  vColor = vec3(0.2) + vec3(0.6, 0.7, 0.5) * l;\n"
                                   "  gl_Position = vec4(aPos.xy + uAt, aPos.z * 0.5 + 0.5, 1.0);\n"
                                   "}\n"));
    glAttachShader(program, Shader(GL_FRAGMENT_SHADER,
                                   "#version 330 core\n"
                                   "in vec3 vColor;\n"
                                   "out vec4 fragColor;\n"
                                   "void main() { fragColor = vec4(vColor, 1.0); }\n"));
    glLinkProgram(program);
    glUseProgram(program);
    const GLint at = glGetUniformLocation(program, "uAt");
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glViewport(0, 0, w, h);
    const double wall0 = Seconds(CLOCK_MONOTONIC), cpu0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
    long frames = 0;
    while (Seconds(CLOCK_MONOTONIC) - wall0 < seconds) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (int m = 0; m < meshes; ++m) {
            const int side = m / 100, k = m % 100;
            glUniform2f(at, (side ? 0.12f : -0.72f) + 0.064f * float(k % 10), -0.4f + 0.08f * float(k / 10));
            glDrawElements(GL_TRIANGLES, GLsizei(index.size()), GL_UNSIGNED_SHORT, nullptr);
        }
        SDL_GL_SwapWindow(window);
        ++frames;
    }
    glFinish();
    const double wall = Seconds(CLOCK_MONOTONIC) - wall0, cpu = Seconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    std::printf("triangles %d\n", meshes * int(index.size() / 3));
    std::printf("frames per second %.2f\n", double(frames) / wall);
    std::printf("main thread %.3f ms per frame\n", frames ? cpu * 1000.0 / double(frames) : 0.0);
    return 0;
}

// A cleared frame rate times a second, sleeping to the next one.
int Idle(SDL_Window* window, double seconds, double rate) {
    const double wall0 = Seconds(CLOCK_MONOTONIC), cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    double next = wall0;
    while (Seconds(CLOCK_MONOTONIC) - wall0 < seconds) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        SDL_GL_SwapWindow(window);
        next += 1.0 / rate;
        const double wait = next - Seconds(CLOCK_MONOTONIC);
        if (wait > 0.0) SDL_Delay(uint32_t(wait * 1000.0));
    }
    const double wall = Seconds(CLOCK_MONOTONIC) - wall0, cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    std::printf("cpu %.4f seconds per second\n", cpu / wall);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool blit = argc > 1 && std::strcmp(argv[1], "blit") == 0;
    const bool triangles = argc > 3 && std::strcmp(argv[1], "triangles") == 0;
    const bool idle = argc > 2 && std::strcmp(argv[1], "idle") == 0;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    const int w = 640, h = 480;
    SDL_Window* window = SDL_CreateWindow("baseline", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (!window) {
        std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        std::fprintf(stderr, "SDL_GL_CreateContext: %s\n", SDL_GetError());
        return 1;
    }
    if (triangles || idle) {
        SDL_GL_SetSwapInterval(0);  // as the game: presents never wait for the vertical blank
        const int result = triangles ? DrawTriangles(window, w, h, std::atoi(argv[2]), std::atof(argv[3]))
                                     : Idle(window, std::atof(argv[2]), argc > 3 ? std::atof(argv[3]) : 15.0);
        std::fflush(stdout);
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        SDL_Quit();
        return result;
    }
    GLuint fbo = 0, color = 0;
    if (blit) {
        glGenFramebuffers(1, &fbo);
        glGenTextures(1, &color);
        glBindTexture(GL_TEXTURE_2D, color);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (blit) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
        glBlitFramebuffer(0, 0, w, h, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    SDL_GL_SwapWindow(window);
    glFinish();
    std::printf("first frame\n");
    std::fflush(stdout);
    if (blit) {
        glDeleteFramebuffers(1, &fbo);
        glDeleteTextures(1, &color);
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
