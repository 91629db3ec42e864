// Result codes of the DirectDraw- and Direct3D-shaped interfaces, under their
// published names and values (stored logs and the engine's error texts name
// them). The list also says which family a name belongs to: the engine's
// error-text routine reports the first kind as "DirectDrawError" and the
// second as "Direct3DError".
#pragma once

#include "platform/d3d/D3DTypes.h"

#define D3D_DDHRESULT(code) static_cast<D3DResult>(0x88760000u | (code))

// X(name, value) for the names reported as DirectDraw errors.
#define D3D_DIRECTDRAW_ERRORS(X)                                          \
  X(DDERR_NO3D, D3D_DDHRESULT(170))                                       \
  X(DDERR_UNSUPPORTED, static_cast<D3DResult>(0x80004001u))               \
  X(DDERR_GENERIC, static_cast<D3DResult>(0x80004005u))                   \
  X(DDERR_NOTINITIALIZED, static_cast<D3DResult>(0x800401f0u))            \
  X(DDERR_OUTOFMEMORY, static_cast<D3DResult>(0x8007000eu))               \
  X(DDERR_CANNOTATTACHSURFACE, D3D_DDHRESULT(10))                         \
  X(DDERR_CANNOTDETACHSURFACE, D3D_DDHRESULT(20))                         \
  X(DDERR_CURRENTLYNOTAVAIL, D3D_DDHRESULT(40))                           \
  X(DDERR_EXCEPTION, D3D_DDHRESULT(55))                                   \
  X(DDERR_HEIGHTALIGN, D3D_DDHRESULT(90))                                 \
  X(DDERR_INCOMPATIBLEPRIMARY, D3D_DDHRESULT(95))                         \
  X(DDERR_INVALIDCAPS, D3D_DDHRESULT(100))                                \
  X(DDERR_INVALIDCLIPLIST, D3D_DDHRESULT(110))                            \
  X(DDERR_INVALIDMODE, D3D_DDHRESULT(120))                                \
  X(DDERR_INVALIDOBJECT, D3D_DDHRESULT(130))                              \
  X(DDERR_INVALIDPIXELFORMAT, D3D_DDHRESULT(145))                         \
  X(DDERR_INVALIDRECT, D3D_DDHRESULT(150))                                \
  X(DDERR_LOCKEDSURFACES, D3D_DDHRESULT(160))                             \
  X(DDERR_NOALPHAHW, D3D_DDHRESULT(180))                                  \
  X(DDERR_NOCLIPLIST, D3D_DDHRESULT(205))                                 \
  X(DDERR_NOCOLORCONVHW, D3D_DDHRESULT(210))                              \
  X(DDERR_NOCOOPERATIVELEVELSET, D3D_DDHRESULT(212))                      \
  X(DDERR_NOCOLORKEY, D3D_DDHRESULT(215))                                 \
  X(DDERR_NOCOLORKEYHW, D3D_DDHRESULT(220))                               \
  X(DDERR_NODIRECTDRAWSUPPORT, D3D_DDHRESULT(222))                        \
  X(DDERR_NOEXCLUSIVEMODE, D3D_DDHRESULT(225))                            \
  X(DDERR_NOFLIPHW, D3D_DDHRESULT(230))                                   \
  X(DDERR_NOGDI, D3D_DDHRESULT(240))                                      \
  X(DDERR_NOMIRRORHW, D3D_DDHRESULT(250))                                 \
  X(DDERR_NOTFOUND, D3D_DDHRESULT(255))                                   \
  X(DDERR_NOOVERLAYHW, D3D_DDHRESULT(260))                                \
  X(DDERR_OVERLAPPINGRECTS, D3D_DDHRESULT(270))                           \
  X(DDERR_NORASTEROPHW, D3D_DDHRESULT(280))                               \
  X(DDERR_NOROTATIONHW, D3D_DDHRESULT(290))                               \
  X(DDERR_NOSTRETCHHW, D3D_DDHRESULT(310))                                \
  X(DDERR_NOT4BITCOLOR, D3D_DDHRESULT(316))                               \
  X(DDERR_NOT4BITCOLORINDEX, D3D_DDHRESULT(317))                          \
  X(DDERR_NOT8BITCOLOR, D3D_DDHRESULT(320))                               \
  X(DDERR_NOTEXTUREHW, D3D_DDHRESULT(330))                                \
  X(DDERR_NOVSYNCHW, D3D_DDHRESULT(335))                                  \
  X(DDERR_NOZBUFFERHW, D3D_DDHRESULT(340))                                \
  X(DDERR_NOZOVERLAYHW, D3D_DDHRESULT(350))                               \
  X(DDERR_OUTOFCAPS, D3D_DDHRESULT(360))                                  \
  X(DDERR_OUTOFVIDEOMEMORY, D3D_DDHRESULT(380))                           \
  X(DDERR_OVERLAYCANTCLIP, D3D_DDHRESULT(382))                            \
  X(DDERR_OVERLAYCOLORKEYONLYONEACTIVE, D3D_DDHRESULT(384))               \
  X(DDERR_PALETTEBUSY, D3D_DDHRESULT(387))                                \
  X(DDERR_COLORKEYNOTSET, D3D_DDHRESULT(400))                             \
  X(DDERR_SURFACEALREADYATTACHED, D3D_DDHRESULT(410))                     \
  X(DDERR_SURFACEALREADYDEPENDENT, D3D_DDHRESULT(420))                    \
  X(DDERR_SURFACEBUSY, D3D_DDHRESULT(430))                                \
  X(DDERR_CANTLOCKSURFACE, D3D_DDHRESULT(435))                            \
  X(DDERR_SURFACEISOBSCURED, D3D_DDHRESULT(440))                          \
  X(DDERR_SURFACELOST, D3D_DDHRESULT(450))                                \
  X(DDERR_SURFACENOTATTACHED, D3D_DDHRESULT(460))                         \
  X(DDERR_TOOBIGHEIGHT, D3D_DDHRESULT(470))                               \
  X(DDERR_TOOBIGSIZE, D3D_DDHRESULT(480))                                 \
  X(DDERR_TOOBIGWIDTH, D3D_DDHRESULT(490))                                \
  X(DDERR_UNSUPPORTEDFORMAT, D3D_DDHRESULT(510))                          \
  X(DDERR_UNSUPPORTEDMASK, D3D_DDHRESULT(520))                            \
  X(DDERR_INVALIDSTREAM, D3D_DDHRESULT(521))                              \
  X(DDERR_VERTICALBLANKINPROGRESS, D3D_DDHRESULT(537))                    \
  X(DDERR_WASSTILLDRAWING, D3D_DDHRESULT(540))                            \
  X(DDERR_XALIGN, D3D_DDHRESULT(560))                                     \
  X(DDERR_INVALIDDIRECTDRAWGUID, D3D_DDHRESULT(561))                      \
  X(DDERR_DIRECTDRAWALREADYCREATED, D3D_DDHRESULT(562))                   \
  X(DDERR_NODIRECTDRAWHW, D3D_DDHRESULT(563))                             \
  X(DDERR_PRIMARYSURFACEALREADYEXISTS, D3D_DDHRESULT(564))                \
  X(DDERR_NOEMULATION, D3D_DDHRESULT(565))                                \
  X(DDERR_REGIONTOOSMALL, D3D_DDHRESULT(566))                             \
  X(DDERR_CLIPPERISUSINGHWND, D3D_DDHRESULT(567))                         \
  X(DDERR_NOCLIPPERATTACHED, D3D_DDHRESULT(568))                          \
  X(DDERR_NOHWND, D3D_DDHRESULT(569))                                     \
  X(DDERR_HWNDSUBCLASSED, D3D_DDHRESULT(570))                             \
  X(DDERR_HWNDALREADYSET, D3D_DDHRESULT(571))                             \
  X(DDERR_NOPALETTEATTACHED, D3D_DDHRESULT(572))                          \
  X(DDERR_NOPALETTEHW, D3D_DDHRESULT(573))                                \
  X(DDERR_BLTFASTCANTCLIP, D3D_DDHRESULT(574))                            \
  X(DDERR_NOBLTHW, D3D_DDHRESULT(575))                                    \
  X(DDERR_NODDROPSHW, D3D_DDHRESULT(576))                                 \
  X(DDERR_OVERLAYNOTVISIBLE, D3D_DDHRESULT(577))                          \
  X(DDERR_NOOVERLAYDEST, D3D_DDHRESULT(578))                              \
  X(DDERR_INVALIDPOSITION, D3D_DDHRESULT(579))                            \
  X(DDERR_NOTAOVERLAYSURFACE, D3D_DDHRESULT(580))                         \
  X(DDERR_EXCLUSIVEMODEALREADYSET, D3D_DDHRESULT(581))                    \
  X(DDERR_NOTFLIPPABLE, D3D_DDHRESULT(582))                               \
  X(DDERR_CANTDUPLICATE, D3D_DDHRESULT(583))                              \
  X(DDERR_NOTLOCKED, D3D_DDHRESULT(584))                                  \
  X(DDERR_CANTCREATEDC, D3D_DDHRESULT(585))                               \
  X(DDERR_NODC, D3D_DDHRESULT(586))                                       \
  X(DDERR_WRONGMODE, D3D_DDHRESULT(587))                                  \
  X(DDERR_IMPLICITLYCREATED, D3D_DDHRESULT(588))                          \
  X(DDERR_NOTPALETTIZED, D3D_DDHRESULT(589))                              \
  X(DDERR_UNSUPPORTEDMODE, D3D_DDHRESULT(590))                            \
  X(DDERR_NOMIPMAPHW, D3D_DDHRESULT(591))                                 \
  X(DDERR_NOOPTIMIZEHW, D3D_DDHRESULT(600))                               \
  X(DDERR_NOTLOADED, D3D_DDHRESULT(601))                                  \
  X(DDERR_NOFOCUSWINDOW, D3D_DDHRESULT(602))                              \
  X(DDERR_DCALREADYCREATED, D3D_DDHRESULT(620))                           \
  X(DDERR_NONONLOCALVIDMEM, D3D_DDHRESULT(630))                           \
  X(DDERR_CANTPAGELOCK, D3D_DDHRESULT(640))                               \
  X(DDERR_CANTPAGEUNLOCK, D3D_DDHRESULT(660))                             \
  X(DDERR_NOTPAGELOCKED, D3D_DDHRESULT(680))                              \
  X(DDERR_MOREDATA, D3D_DDHRESULT(690))                                   \
  X(DDERR_EXPIRED, D3D_DDHRESULT(691))                                    \
  X(DDERR_VIDEONOTACTIVE, D3D_DDHRESULT(695))                             \
  X(DDERR_DEVICEDOESNTOWNSURFACE, D3D_DDHRESULT(699))

// X(name, value) for the names reported as Direct3D errors.
#define D3D_DIRECT3D_ERRORS(X)                                            \
  X(DDERR_ALREADYINITIALIZED, D3D_DDHRESULT(5))                           \
  X(DDERR_INVALIDSURFACETYPE, D3D_DDHRESULT(592))                         \
  X(D3DERR_BADMAJORVERSION, D3D_DDHRESULT(700))                           \
  X(D3DERR_BADMINORVERSION, D3D_DDHRESULT(701))                           \
  X(D3DERR_INVALID_DEVICE, D3D_DDHRESULT(705))                            \
  X(D3DERR_INITFAILED, D3D_DDHRESULT(706))                                \
  X(D3DERR_DEVICEAGGREGATED, D3D_DDHRESULT(710))                          \
  X(D3DERR_EXECUTE_CREATE_FAILED, D3D_DDHRESULT(712))                     \
  X(D3DERR_EXECUTE_DESTROY_FAILED, D3D_DDHRESULT(713))                    \
  X(D3DERR_EXECUTE_LOCK_FAILED, D3D_DDHRESULT(714))                       \
  X(D3DERR_EXECUTE_UNLOCK_FAILED, D3D_DDHRESULT(715))                     \
  X(D3DERR_EXECUTE_LOCKED, D3D_DDHRESULT(716))                            \
  X(D3DERR_EXECUTE_NOT_LOCKED, D3D_DDHRESULT(717))                        \
  X(D3DERR_EXECUTE_FAILED, D3D_DDHRESULT(718))                            \
  X(D3DERR_EXECUTE_CLIPPED_FAILED, D3D_DDHRESULT(719))                    \
  X(D3DERR_TEXTURE_NO_SUPPORT, D3D_DDHRESULT(720))                        \
  X(D3DERR_TEXTURE_CREATE_FAILED, D3D_DDHRESULT(721))                     \
  X(D3DERR_TEXTURE_DESTROY_FAILED, D3D_DDHRESULT(722))                    \
  X(D3DERR_TEXTURE_LOCK_FAILED, D3D_DDHRESULT(723))                       \
  X(D3DERR_TEXTURE_UNLOCK_FAILED, D3D_DDHRESULT(724))                     \
  X(D3DERR_TEXTURE_LOAD_FAILED, D3D_DDHRESULT(725))                       \
  X(D3DERR_TEXTURE_SWAP_FAILED, D3D_DDHRESULT(726))                       \
  X(D3DERR_TEXTURE_LOCKED, D3D_DDHRESULT(727))                            \
  X(D3DERR_TEXTURE_NOT_LOCKED, D3D_DDHRESULT(728))                        \
  X(D3DERR_TEXTURE_GETSURF_FAILED, D3D_DDHRESULT(729))                    \
  X(D3DERR_MATRIX_CREATE_FAILED, D3D_DDHRESULT(730))                      \
  X(D3DERR_MATRIX_DESTROY_FAILED, D3D_DDHRESULT(731))                     \
  X(D3DERR_MATRIX_SETDATA_FAILED, D3D_DDHRESULT(732))                     \
  X(D3DERR_MATRIX_GETDATA_FAILED, D3D_DDHRESULT(733))                     \
  X(D3DERR_SETVIEWPORTDATA_FAILED, D3D_DDHRESULT(734))                    \
  X(D3DERR_INVALIDCURRENTVIEWPORT, D3D_DDHRESULT(735))                    \
  X(D3DERR_INVALIDPRIMITIVETYPE, D3D_DDHRESULT(736))                      \
  X(D3DERR_INVALIDVERTEXTYPE, D3D_DDHRESULT(737))                         \
  X(D3DERR_TEXTURE_BADSIZE, D3D_DDHRESULT(738))                           \
  X(D3DERR_INVALIDRAMPTEXTURE, D3D_DDHRESULT(739))                        \
  X(D3DERR_MATERIAL_CREATE_FAILED, D3D_DDHRESULT(740))                    \
  X(D3DERR_MATERIAL_DESTROY_FAILED, D3D_DDHRESULT(741))                   \
  X(D3DERR_MATERIAL_SETDATA_FAILED, D3D_DDHRESULT(742))                   \
  X(D3DERR_MATERIAL_GETDATA_FAILED, D3D_DDHRESULT(743))                   \
  X(D3DERR_INVALIDPALETTE, D3D_DDHRESULT(744))                            \
  X(D3DERR_ZBUFF_NEEDS_SYSTEMMEMORY, D3D_DDHRESULT(745))                  \
  X(D3DERR_ZBUFF_NEEDS_VIDEOMEMORY, D3D_DDHRESULT(746))                   \
  X(D3DERR_SURFACENOTINVIDMEM, D3D_DDHRESULT(747))                        \
  X(D3DERR_LIGHT_SET_FAILED, D3D_DDHRESULT(750))                          \
  X(D3DERR_LIGHTHASVIEWPORT, D3D_DDHRESULT(751))                          \
  X(D3DERR_LIGHTNOTINTHISVIEWPORT, D3D_DDHRESULT(752))                    \
  X(D3DERR_SCENE_IN_SCENE, D3D_DDHRESULT(760))                            \
  X(D3DERR_SCENE_NOT_IN_SCENE, D3D_DDHRESULT(761))                        \
  X(D3DERR_SCENE_BEGIN_FAILED, D3D_DDHRESULT(762))                        \
  X(D3DERR_SCENE_END_FAILED, D3D_DDHRESULT(763))                          \
  X(D3DERR_INBEGIN, D3D_DDHRESULT(770))                                   \
  X(D3DERR_NOTINBEGIN, D3D_DDHRESULT(771))                                \
  X(D3DERR_NOVIEWPORTS, D3D_DDHRESULT(780))                               \
  X(D3DERR_VIEWPORTDATANOTSET, D3D_DDHRESULT(781))                        \
  X(D3DERR_VIEWPORTHASNODEVICE, D3D_DDHRESULT(782))                       \
  X(D3DERR_NOCURRENTVIEWPORT, D3D_DDHRESULT(783))                         \
  X(D3DERR_INVALIDVERTEXFORMAT, D3D_DDHRESULT(2048))                      \
  X(D3DERR_COLORKEYATTACHED, D3D_DDHRESULT(2050))                         \
  X(D3DERR_VERTEXBUFFEROPTIMIZED, D3D_DDHRESULT(2060))                    \
  X(D3DERR_VBUF_CREATE_FAILED, D3D_DDHRESULT(2061))                       \
  X(D3DERR_VERTEXBUFFERLOCKED, D3D_DDHRESULT(2062))                       \
  X(D3DERR_ZBUFFER_NOTPRESENT, D3D_DDHRESULT(2070))                       \
  X(D3DERR_STENCILBUFFER_NOTPRESENT, D3D_DDHRESULT(2071))                 \
  X(D3DERR_WRONGTEXTUREFORMAT, D3D_DDHRESULT(2072))                       \
  X(D3DERR_UNSUPPORTEDCOLOROPERATION, D3D_DDHRESULT(2073))                \
  X(D3DERR_UNSUPPORTEDCOLORARG, D3D_DDHRESULT(2074))                      \
  X(D3DERR_UNSUPPORTEDALPHAOPERATION, D3D_DDHRESULT(2075))                \
  X(D3DERR_UNSUPPORTEDALPHAARG, D3D_DDHRESULT(2076))                      \
  X(D3DERR_TOOMANYOPERATIONS, D3D_DDHRESULT(2077))                        \
  X(D3DERR_CONFLICTINGTEXTUREFILTER, D3D_DDHRESULT(2078))                 \
  X(D3DERR_UNSUPPORTEDFACTORVALUE, D3D_DDHRESULT(2079))                   \
  X(D3DERR_CONFLICTINGRENDERSTATE, D3D_DDHRESULT(2081))                   \
  X(D3DERR_UNSUPPORTEDTEXTUREFILTER, D3D_DDHRESULT(2082))                 \
  X(D3DERR_TOOMANYPRIMITIVES, D3D_DDHRESULT(2083))                        \
  X(D3DERR_INVALIDMATRIX, D3D_DDHRESULT(2084))                            \
  X(D3DERR_CONFLICTINGTEXTUREPALETTE, D3D_DDHRESULT(2086))

#define D3D_DECLARE_ERROR(name, value) constexpr D3DResult name = value;
D3D_DIRECTDRAW_ERRORS(D3D_DECLARE_ERROR)
D3D_DIRECT3D_ERRORS(D3D_DECLARE_ERROR)
#undef D3D_DECLARE_ERROR

constexpr D3DResult DD_OK = 0;
constexpr D3DResult D3D_OK = 0;
// Not in the engine's error-text table, but returned for bad arguments.
constexpr D3DResult DDERR_INVALIDPARAMS = static_cast<D3DResult>(0x80070057u);
