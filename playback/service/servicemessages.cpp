#include "playback/service/servicemessages.h"

#include "model/latin1.h"
#include "playback/service/fluidsynthlibrary.h"
#include "playback/service/systemsound.h"

#include <string_view>

namespace quiralto::playback {
namespace {

using model::latin1;

// The file name is Latin-1 already and must not pass through latin1().
std::string aboutFile(std::string_view before, const std::string &fileName, std::string_view after)
{
    return latin1(before) + '"' + fileName + '"' + latin1(after);
}

} // namespace

std::optional<std::string> serviceErrorText(ErrorCode code, const FailedRequest &request)
{
    const auto &file = request.fileName;
    switch (code) {
    case ErrorNoFileName:
        return latin1("Nenhum nome de arquivo foi informado para abrir.");
    case ErrorFileNotFound:
        return aboutFile("O arquivo ", file, " não foi encontrado.");
    case ErrorFileUnreadable:
        return aboutFile("O arquivo ", file, " não pode ser lido.");
    case ErrorNotMidiFile:
        if (request.reason.empty())
            return aboutFile("O arquivo ", file, " não é um arquivo MIDI válido.");
        return aboutFile("O arquivo ", file, " não é um arquivo MIDI válido: ") + request.reason + '.';
    case ErrorNoSoundFont:
        return aboutFile("Não é possível tocar ", file, ": não há SoundFont General MIDI instalada (")
            + latin1(soundFontRemedy()) + ").";
    case ErrorNoAudioOutput:
        return aboutFile("Não é possível tocar ", file, ": nenhuma saída de áudio está disponível.");
    case ErrorInvalidDevice:
        return latin1("O dispositivo MIDI pedido não está aberto.");
    case ErrorUnsupportedFunction:
        return aboutFile("O dispositivo de ", file, " não oferece essa função.");
    case ErrorSynthesizer:
        return aboutFile("O sintetizador recusou o pedido para ", file, ".");
    case ErrorNoSynthesizerLibrary:
        return aboutFile("Não é possível tocar ", file, ": a biblioteca do sintetizador FluidSynth (")
            + FluidSynthLibrary::FileName + latin1(") não pôde ser carregada (instale o pacote libfluidsynth3).");
    }
    return std::nullopt;
}

} // namespace quiralto::playback
