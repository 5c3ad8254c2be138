<?php
// Publishes the files beside this script as the launcher's download manifest.
// Drop it into the web server's /download/latest/ folder together with the installers.
declare(strict_types=1);

// Scheme and host that start every download URL, e.g. 'https://quorvel.com'. Leave empty to take
// them from the request; set it when a proxy in front of this server changes either of them.
const QUORVEL_BASE_URL = '';

const QUORVEL_SCHEMA = 'quorvel.download.v1';

// A PHP warning printed into the reply would break the JSON; warnings go to the log only.
ini_set('display_errors', '0');

function SendJson(int $status, array $document): void
{
    http_response_code($status);
    header('Content-Type: application/json; charset=utf-8');
    header('Cache-Control: no-cache');
    header('X-Content-Type-Options: nosniff');
    // No Content-Length of our own, which output compression would make wrong; for HEAD the
    // server drops the body itself.
    echo json_encode($document, JSON_UNESCAPED_SLASHES | JSON_UNESCAPED_UNICODE | JSON_THROW_ON_ERROR);
}

function SendError(int $status, string $message): void
{
    SendJson($status, ['error' => $message]);
}

// Scheme and host of the download URLs. The Host header is used only when it looks like a host
// name with an optional port, so a forged header cannot inject anything into the URLs.
function BaseUrl(): string
{
    if (QUORVEL_BASE_URL !== '') {
        return rtrim(QUORVEL_BASE_URL, '/');
    }
    $https = $_SERVER['HTTPS'] ?? '';
    $scheme = ($https !== '' && strtolower((string)$https) !== 'off') ? 'https' : 'http';
    $host = (string)($_SERVER['HTTP_HOST'] ?? '');
    if (!preg_match('/^(?:[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?|\[[0-9A-Fa-f:.]+\])(?::[0-9]{1,5})?$/D', $host)) {
        $host = (string)($_SERVER['SERVER_NAME'] ?? 'localhost');
        $port = (string)($_SERVER['SERVER_PORT'] ?? '');
        $default = $scheme === 'https' ? '443' : '80';
        if ($port !== '' && $port !== $default) {
            $host .= ':' . $port;
        }
    }
    return $scheme . '://' . $host;
}

// URL path of this script's folder, each segment percent-encoded, with a trailing slash.
function FolderUrlPath(): string
{
    $script = (string)($_SERVER['SCRIPT_NAME'] ?? '/');
    $cut = strrpos($script, '/');
    $folder = $cut === false ? '' : substr($script, 0, $cut);
    $path = '/';
    foreach (explode('/', $folder) as $segment) {
        if ($segment !== '') {
            $path .= rawurlencode($segment) . '/';
        }
    }
    return $path;
}

// Extension without its dot, ASCII letters lower-cased, empty when the name has none.
function Extension(string $name): string
{
    $dot = strrpos($name, '.');
    if ($dot === false) {
        return '';
    }
    return strtr(substr($name, $dot + 1), 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz');
}

// A link is offered only when it ends at a regular file inside this folder (sub-folders included)
// whose path has no hidden part, so a link cannot publish anything the folder itself would not.
function LinkStaysInside(string $path, string $folder, string $self): bool
{
    $target = realpath($path);
    if ($target === false || $target === $self || !str_starts_with($target, $folder . '/')) {
        return false;
    }
    foreach (explode('/', substr($target, strlen($folder) + 1)) as $part) {
        if ($part === '' || $part[0] === '.') {
            return false;
        }
    }
    return true;
}

// One pass over the folder: name, size and time of every file that may be offered.
function ListFolder(string $folder, string $self, ?string &$error): ?array
{
    $handle = opendir($folder);
    if ($handle === false) {
        $error = 'The download folder cannot be read.';
        return null;
    }
    $selfName = basename($self);
    $files = [];
    while (($name = readdir($handle)) !== false) {
        if ($name === '' || $name[0] === '.' || $name === $selfName) {
            continue;
        }
        $path = $folder . '/' . $name;
        $info = lstat($path);
        if ($info === false) {
            continue;  // removed while we were listing
        }
        $type = $info['mode'] & 0170000;
        if ($type === 0120000) {
            if (!LinkStaysInside($path, $folder, $self)) {
                continue;
            }
            $info = stat($path);
            if ($info === false || ($info['mode'] & 0170000) !== 0100000) {
                continue;
            }
        } elseif ($type !== 0100000) {
            continue;  // sub-folders, sockets, devices
        }
        if (!preg_match('//u', $name)) {
            // JSON cannot carry it and no URL would name it reliably; tell the vendor instead.
            error_log('filelist.json.php: left out a file whose name is not valid UTF-8: '
                . rawurlencode($name));
            continue;
        }
        $files[] = [$name, (int)$info['size'], (int)$info['mtime']];
    }
    closedir($handle);
    return $files;
}

function Main(): void
{
    $method = (string)($_SERVER['REQUEST_METHOD'] ?? 'GET');
    if ($method !== 'GET' && $method !== 'HEAD') {
        header('Allow: GET, HEAD');
        SendError(405, 'Method not allowed; use GET or HEAD.');
        return;
    }
    $self = __FILE__;
    $folder = __DIR__;
    $error = null;
    $listed = ListFolder($folder, $self, $error);
    if ($listed === null) {
        SendError(500, $error);
        return;
    }
    // Newest first; equal times by name, so the order does not depend on the directory's.
    usort($listed, static fn(array $a, array $b): int => ($b[2] <=> $a[2]) ?: strcmp($a[0], $b[0]));

    $prefix = BaseUrl() . FolderUrlPath();
    $files = [];
    foreach ($listed as [$name, $size, $mtime]) {
        $files[] = [
            'name' => $name,
            'url' => $prefix . rawurlencode($name),
            'size' => $size,
            'modified_at' => gmdate('Y-m-d\TH:i:s\Z', $mtime),
            'ext' => Extension($name),
        ];
    }
    SendJson(200, ['schema' => QUORVEL_SCHEMA, 'files' => $files]);
}

try {
    Main();
} catch (Throwable $failure) {
    error_log('filelist.json.php: ' . $failure->getMessage());
    if (!headers_sent()) {
        SendError(500, 'The download list could not be produced.');
    }
}
