// Built as libfluidsynth.so.3 in a folder of its own: a library by
// FluidSynth's name that holds none of FluidSynth's functions, for
// tst_fluidsynthlibrary.
extern "C" int quiralto_not_fluidsynth()
{
    return 0;
}
