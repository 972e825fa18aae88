// TFtpClient: the data operations (listing, download, upload, check file) and Abort.
#include "ftp/Ftp.h"

void TFtpClient::GetListing() {}
void TFtpClient::GetListingPasv() {}
void TFtpClient::GetFile() {}
void TFtpClient::GetFilePasv() {}
void TFtpClient::PutFile() {}
void TFtpClient::PutFilePasv() {}
void TFtpClient::SendCheckFile(const std::string &) {}
void TFtpClient::SendCheckFilePasv(const std::string &) {}
void TFtpClient::Abort() {}
void TFtpClient::CloseLocalFile() {}
