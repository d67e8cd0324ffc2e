// The File Transfer window's controls by id.
#pragma once

namespace hv {

enum FileTransferControl : int {
  kTransferEnable = 460, kTransferDuringIdle = 461, kTransferSiteLabel = 462, kTransferSite = 463,
  kTransferFolderLabel = 464, kTransferFolder = 465, kTransferLoginAs = 466, kTransferUserLabel = 467,
  kTransferUser = 468, kTransferPasswordLabel = 469, kTransferPassword = 470, kTransferArchive = 471,
  kTransferArchiveFolder = 473, kTransferBrowse = 474, kTransferStatusLabel = 475,
  kTransferStatus = 476,  // the transfer's status line ("IDLE", progress, errors)
};

}  // namespace hv
