#include "model/error.h"

namespace pulldex {

const char* errorText(Error error) {
  switch (error) {
    case Error::None:
      return "";
    case Error::OpenProject:
      return "Error in opening the file";
    case Error::NoIvtcBlock:
      return "Error, can't find IVTC setting in the file";
    case Error::ReadFile:
      return "Error in reading file";
    case Error::FileFormat:
      return "Error in file format";
    case Error::OpenSource:
      return "Error in opening source TPR file";
    case Error::OpenDestination:
      return "Error in opening destination file";
    case Error::WriteFile:
      return "Error in writing the file";
    case Error::CreateFrameSettings:
      return "Error in creating output file";
    case Error::OpenFrameSettings:
      return "Error in opening file";
    case Error::CreateScript:
      return "Error in creating the file";
    case Error::CreateList:
      return "Error in creating the list file";
    case Error::CreatePage:
      return "Error in creating the report page";
    case Error::OutputIsProject:
      return "Error, this is the project itself";
    case Error::OutputIsInput:
      return "Error, this file is read by the run";
    case Error::OutputsCollide:
      return "Error, two outputs of the run would go to this file";
    case Error::NothingKept:
      return "Error, the list keeps no frame";
    case Error::StartDecoder:
      return "Error, can't start the video decoder";
    case Error::DecoderFailed:
      return "Error, the video decoder failed";
    case Error::VideoStream:
      return "Error in the decoded video";
    case Error::EmptyVideo:
      return "Error, the video has no frames";
    case Error::OneFrame:
      return "Error, the video has only one frame";
    case Error::NoVideoStream:
      return "Error, the file has no video stream";
    case Error::DecoderIsScript:
      return "Error, the video decoder must be a program, not a batch file";
    case Error::NothingInVideo:
      return "Error, no kept entry lies within the video";
    case Error::DvdIndex:
      return "Error in the DVD index";
    case Error::IndexedFileMissing:
      return "Error, a file the DVD index lists is missing";
    case Error::ListLongerThanVideo:
      return "Error, the list is longer than the video";
    case Error::NotExpressible:
      return "Error, Wobbly cannot express the list";
    case Error::SourceFields:
      return "Error, the tool's source would not give the fields the list was made from";
    case Error::ProjectChanged:
      return "Error, the project has changed since it was loaded";
    case Error::HardLinks:
      return "Error, the file has other hard links";
    case Error::UnsafeLink:
      return "Error, the link is not safe to follow";
    case Error::KeepOwner:
      return "Error, can't keep the owner and rights of the file";
    case Error::Device:
      return "Error, can't read from a device";
    case Error::NotRegular:
      return "Error, the project is not a regular file";
  }
  return "";
}

}  // namespace pulldex
