#pragma once

#include <QString>

// Every server the program talks to is named here and nowhere else. When the
// environment variable KYORO_PLATFORM_URL is set (for example
// "http://127.0.0.1:8765"), it replaces every Kyoro host, scheme included, so
// the program runs against the sandbox platform. The OBS project's site is not
// a Kyoro host and never changes.

// Download server (plain HTTP): installers, component version file and archive.
QString downloadServerUrl(const QString &path);

// The platform's web API (plain HTTP), for example "/api/v1/get_zbpc_client?...".
QString webApiUrl(const QString &pathAndQuery);

// The platform's main web site over HTTPS: help pages and "/room/my".
QString webSiteUrl(const QString &path);

// The web site's address as shown to the user in texts ("www.kyoro.live").
QString webSiteDisplayAddress();

// Root page of the customer-service site (HTTPS).
QString customerServiceUrl();

// Telemetry collector: HTTPS, path "/deliver/lark2".
QString telemetryCollectorUrl();

// Where the crash reporter uploads dumps: "ftp://" + crash upload host +
// "//KYLiveMgr//".
QString crashUploadLocation();

// Root page of the OBS project's web site.
QString obsProjectSiteUrl();

// KYORO_PLATFORM_URL without a trailing slash, or "" when it is not set.
QString platformOverride();
