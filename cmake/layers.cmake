# The layer table of the station: every library, bottom-up. Each layer's
# folders (under src/) build into the static library halvane_<layer>, which
# links the layers in USES and the outside libraries in LIBS. A file may
# include headers of its own layer and of every layer its layer uses, directly
# or through the layers below. The rules are in cmake/HalvaneLayers.cmake; the
# build checks every include and link against this table.
#
# Tiers, lowest first:
#   foundation    shared values, conduits, settings, the station model
#   station       the workers: receivers, signal chain, sound, recording, ...
#   presentation  drawing: the toolkit (the only layer that sees FLTK and X11),
#                 the live display, the pictures
#   windows       the application windows
#   application   start-up, main loop and shutdown
#   testing       simulated hardware for tests, benchmarks and the simulator;
#                 no station layer may use it

halvane_layer_tiers(foundation station presentation windows application testing)

halvane_layer(core       TIER foundation   DIRS core        LIBS Threads::Threads rt)
halvane_layer(settings   TIER foundation   DIRS settings    USES core
              LIBS nlohmann_json::nlohmann_json)
halvane_layer(model      TIER foundation   DIRS model       USES settings)

halvane_layer(devices    TIER station      DIRS devices     USES model  LIBS PkgConfig::LIBUSB)
halvane_layer(dsp        TIER station      DIRS dsp         USES model)
halvane_layer(audio      TIER station      DIRS audio       USES model  LIBS PkgConfig::PORTAUDIO)
halvane_layer(gps        TIER station      DIRS gps         USES model  LIBS PkgConfig::LIBUSB)
halvane_layer(formats    TIER station      DIRS formats     USES model  LIBS PkgConfig::WAVPACK)
halvane_layer(calls      TIER station      DIRS calls       USES formats dsp model
              LIBS nlohmann_json::nlohmann_json)
halvane_layer(recording  TIER station      DIRS recording   USES calls formats dsp model)
halvane_layer(timer      TIER station      DIRS timer       USES recording model)
halvane_layer(playback   TIER station      DIRS playback    USES recording formats model)
halvane_layer(transfer   TIER station      DIRS transfer    USES recording formats model
              LIBS ${FTPLIB_LIBRARY})

halvane_layer(toolkit    TIER presentation DIRS ui/toolkit  USES core
              LIBS ${FLTK_LIBRARIES} X11::X11
              SYSTEM_HEADERS FL X11
              PRIVATE_HEADERS ui/toolkit/xs_records.h ui/toolkit/xs_screen_views.h)
halvane_layer(display    TIER presentation DIRS display     USES toolkit dsp model)
halvane_layer(sono       TIER presentation DIRS sono        USES display toolkit calls formats dsp model
              LIBS PkgConfig::LIBPNG)

halvane_layer(windows    TIER windows      DIRS ui/windows  USES sono display toolkit transfer playback recording
                                                                  formats calls timer gps audio dsp devices model settings core)

halvane_layer(app        TIER application  DIRS app         USES windows sono display toolkit transfer playback
                                                                  recording formats calls timer gps audio dsp devices model
                                                                  settings core)

halvane_layer(testing    TIER testing      DIRS testing     USES devices gps core)

# Reach-ups: none. Should one ever be unavoidable, it is listed here as
#   halvane_layer_exception(<file under src/> <included header> "<reason>")
# which lets that one file include that one header above its layer (and makes
# its layer link that layer). The unit test layer_check fails on a line that
# matches no include any more, so the list only shrinks.
