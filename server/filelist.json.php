<?php
// Publishes the files beside this script as the launcher's download manifest.
// Drop it into the web server's /download/latest/ folder together with the installers.
// When the vendor has uploaded a signed list (filelist.signed.json) beside it, that file is the
// reply, byte for byte; the script holds no key and never makes or changes a signed list.
declare(strict_types=1);

// Scheme and host that start every download URL, e.g. 'https://quorvel.com'. Leave empty to take
// them from the request; set it when a proxy in front of this server changes either of them.
const QUORVEL_BASE_URL = '';

// Folder where the files' SHA-256 digests are remembered between requests, so each file version is
// hashed once. It must lie outside the published folder. Leave empty for a private sub-folder of the
// system's temporary folder (created with mode 0700); set it to a folder only the web server's user
// can write, e.g. '/var/cache/quorvel', to keep the digests across reboots.
const QUORVEL_DIGEST_CACHE_DIR = '';

const QUORVEL_SCHEMA = 'quorvel.download.v1';

// The signed list the vendor uploads beside this script; never listed as a download.
const QUORVEL_SIGNED_LIST = 'filelist.signed.json';

// A file modified this recently (seconds), or dated later than now, may still be arriving and is
// left out until it rests.
const QUORVEL_SETTLE_SECONDS = 10;

// How long a request waits for another one's hashing before it asks the client to come back.
const QUORVEL_HASH_WAIT_SECONDS = 20;
const QUORVEL_RETRY_AFTER_SECONDS = 5;

// A PHP warning printed into the reply would break the JSON; warnings go to the log only.
ini_set('display_errors', '0');

function SendJson(int $status, array $document, string $lastModified = ''): void
{
    SendBody($status, json_encode($document, JSON_UNESCAPED_SLASHES | JSON_UNESCAPED_UNICODE | JSON_THROW_ON_ERROR),
        $lastModified);
}

function SendBody(int $status, string $body, string $lastModified = ''): void
{
    header('Cache-Control: no-cache');
    if ($status === 200) {
        // A cache in front of us (a CDN) revalidates with If-None-Match and gets 304 while the list
        // is unchanged. Only the tag decides: a removed file does not make Last-Modified newer.
        $etag = '"' . hash(in_array('xxh128', hash_algos(), true) ? 'xxh128' : 'md5', $body) . '"';
        header('ETag: ' . $etag);
        if ($lastModified !== '') {
            header('Last-Modified: ' . $lastModified);
        }
        if (IfNoneMatchMatches($etag)) {
            http_response_code(304);
            return;
        }
    }
    http_response_code($status);
    header('Content-Type: application/json; charset=utf-8');
    header('X-Content-Type-Options: nosniff');
    // No Content-Length of our own, which output compression would make wrong; for HEAD the
    // server drops the body itself.
    echo $body;
}

// If-None-Match holds "*" or a list of tags, each possibly weak ("W/"); any one equal to ours matches.
function IfNoneMatchMatches(string $etag): bool
{
    $header = trim((string)($_SERVER['HTTP_IF_NONE_MATCH'] ?? ''));
    if ($header === '*') {
        return true;
    }
    foreach (explode(',', $header) as $candidate) {
        $candidate = trim($candidate);
        if (str_starts_with($candidate, 'W/')) {
            $candidate = substr($candidate, 2);
        }
        if ($candidate === $etag) {
            return true;
        }
    }
    return false;
}

function SendError(int $status, string $message): void
{
    SendJson($status, ['error' => $message]);
}

function SendRetryLater(string $message): void
{
    header('Retry-After: ' . QUORVEL_RETRY_AFTER_SECONDS);
    SendError(503, $message);
}

// Serves the uploaded signed list as it stands. Only a regular file is served: a link or anything
// else under that name is refused, and so is a file that cannot be read, with 503 and never with a
// list of our own in its place (which launchers that pin the vendor's keys would refuse anyway).
// The file opened must be the one looked at, not a link put in its place meanwhile.
function SendSignedList(string $path): void
{
    clearstatcache(true, $path);
    $info = @lstat($path);
    $body = false;
    if ($info !== false && ($info['mode'] & 0170000) === 0100000) {
        $handle = @fopen($path, 'rb');
        $opened = $handle === false ? false : fstat($handle);
        if ($opened !== false && $opened['ino'] === $info['ino'] && $opened['dev'] === $info['dev']) {
            $body = stream_get_contents($handle);
        }
        if ($handle !== false) {
            fclose($handle);
        }
    }
    if ($body === false) {
        error_log('filelist.json.php: cannot serve ' . $path . ': it is not a readable regular file');
        SendRetryLater('The signed download list cannot be read; try again later.');
        return;
    }
    SendBody(200, $body, gmdate('D, d M Y H:i:s', (int)$info['mtime']) . ' GMT');
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
// whose path has no hidden part and that is neither this script nor the signed list, so a link
// cannot publish anything the folder itself would not.
function LinkStaysInside(string $path, string $folder, string $self): bool
{
    $target = realpath($path);
    if ($target === false || $target === $self || $target === $folder . '/' . QUORVEL_SIGNED_LIST
        || !str_starts_with($target, $folder . '/')) {
        return false;
    }
    foreach (explode('/', substr($target, strlen($folder) + 1)) as $part) {
        if ($part === '' || $part[0] === '.') {
            return false;
        }
    }
    return true;
}

// One pass over the folder: name, size and time of every file that may be offered. A file modified
// in the last few seconds is left out: it may be an upload still in progress, whose digest would
// match its truncated bytes. So is a file dated in the future, which a host whose clock runs behind
// the uploader's would otherwise list at once.
function ListFolder(string $folder, string $self, ?string &$error): ?array
{
    $now = time();
    $handle = opendir($folder);
    if ($handle === false) {
        $error = 'The download folder cannot be read.';
        return null;
    }
    $selfName = basename($self);
    $files = [];
    while (($name = readdir($handle)) !== false) {
        if ($name === '' || $name[0] === '.' || $name === $selfName || $name === QUORVEL_SIGNED_LIST) {
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
        $mtime = (int)$info['mtime'];
        if ($mtime > $now - QUORVEL_SETTLE_SECONDS) {
            continue;
        }
        $files[] = [$name, (int)$info['size'], $mtime, (int)$info['ino']];
    }
    closedir($handle);
    return $files;
}

// The account this script runs as: posix_geteuid() where PHP has it, else the owner of a file made
// just now (in $directory when it can be written, else in the temporary folder); null when unknown.
function OwnUid(string $directory): ?int
{
    if (function_exists('posix_geteuid')) {
        return posix_geteuid();
    }
    $probe = @tempnam($directory, '.owner-');
    if ($probe === false) {
        return null;
    }
    $uid = @fileowner($probe);
    @unlink($probe);
    return $uid === false ? null : $uid;
}

// The digest cache of this folder, or '' when no safe place for it exists (then every request hashes).
// The cache decides which digests are served, so its folder, the configured one or the default under
// the shared temporary folder, is used only when it is ours alone: a real folder, not a link, owned
// by the account this script runs as, with no access for group or others, and writable by us.
function DigestCachePath(string $folder): string
{
    $directory = rtrim(QUORVEL_DIGEST_CACHE_DIR, '/');
    if ($directory === '') {
        $directory = rtrim(sys_get_temp_dir(), '/') . '/quorvel-filelist-cache';
        if (!is_dir($directory) && !@mkdir($directory, 0700) && !is_dir($directory)) {
            error_log('filelist.json.php: cannot create the digest cache folder ' . $directory);
            return '';
        }
    }
    clearstatcache(true, $directory);
    if (is_link($directory) || (is_dir($directory) && (fileperms($directory) & 0077) !== 0)) {
        error_log('filelist.json.php: not using ' . $directory . ': it is a link or open to others');
        return '';
    }
    $us = OwnUid($directory);
    if (is_dir($directory) && ($us === null || fileowner($directory) !== $us)) {
        error_log('filelist.json.php: not using ' . $directory
            . ': it is not owned by the account this script runs as');
        return '';
    }
    if (!is_dir($directory) || !is_writable($directory)) {
        error_log('filelist.json.php: the digest cache folder ' . $directory . ' is not a writable folder');
        return '';
    }
    return $directory . '/digests-' . substr(hash('sha256', $folder), 0, 16) . '.cache';
}

// name => [size, mtime, inode, sha256], in PHP's serialized form, which reads several times faster
// than JSON for 10,000 files; no objects are ever made from it. An unreadable or damaged cache is an
// empty one.
function ReadDigestCache(string $path): array
{
    if ($path === '' || !is_file($path)) {
        return [];
    }
    $cache = @unserialize((string)@file_get_contents($path), ['allowed_classes' => false]);
    return is_array($cache) ? $cache : [];
}

// Replaces the cache in one step: readers see the old file or the new one, never a part.
function WriteDigestCache(string $path, array $cache): void
{
    $temporary = $path . '.' . bin2hex(random_bytes(8)) . '.tmp';
    $text = serialize($cache);
    if (@file_put_contents($temporary, $text) !== strlen($text) || !@rename($temporary, $path)) {
        @unlink($temporary);
        error_log('filelist.json.php: cannot write the digest cache ' . $path);
    }
}

function CachedDigest(array $cache, string $name, int $size, int $mtime, int $inode): ?string
{
    $entry = $cache[$name] ?? null;
    if (!is_array($entry) || count($entry) !== 4 || $entry[0] !== $size || $entry[1] !== $mtime
        || $entry[2] !== $inode || !is_string($entry[3]) || strlen($entry[3]) !== 64
        || strspn($entry[3], '0123456789abcdef') !== 64) {
        return null;
    }
    return $entry[3];
}

// Takes the cache's lock, waiting a bounded time for a request that holds it; false when that
// request is still hashing at the end of the wait.
function LockDigestCache($lock): bool
{
    $deadline = microtime(true) + QUORVEL_HASH_WAIT_SECONDS;
    while (!flock($lock, LOCK_EX | LOCK_NB)) {
        if (microtime(true) >= $deadline) {
            return false;
        }
        usleep(100000);
    }
    return true;
}

// The SHA-256 of each listed file (by name), hashing only file versions the cache does not hold.
// Requests that find something to hash take turns, so a big new file is hashed once, not by every
// request that arrives meanwhile; null when another request's hashing outlasted the wait. A file
// that cannot be read has no digest.
function Digests(string $folder, array $listed): ?array
{
    $path = DigestCachePath($folder);
    $cache = ReadDigestCache($path);
    $digests = [];
    foreach ($listed as [$name, $size, $mtime, $inode]) {
        $digest = CachedDigest($cache, $name, $size, $mtime, $inode);
        if ($digest === null) {
            break;
        }
        $digests[$name] = $digest;
    }
    if (count($digests) === count($listed) && count($cache) === count($listed)) {
        return $digests;
    }
    $lock = $path === '' ? false : @fopen($path . '.lock', 'c');
    if ($lock !== false) {
        if (!LockDigestCache($lock)) {
            fclose($lock);
            return null;
        }
        $cache = ReadDigestCache($path);  // another request may have hashed while we waited
    }
    $digests = [];
    $fresh = [];
    foreach ($listed as [$name, $size, $mtime, $inode]) {
        $digest = CachedDigest($cache, $name, $size, $mtime, $inode);
        if ($digest === null) {
            $file = $folder . '/' . $name;
            // Hashing runs at disk speed (a few seconds per GiB); each file gets its own time allowance.
            set_time_limit(300);
            $digest = @hash_file('sha256', $file);
            if ($digest === false) {
                error_log('filelist.json.php: left out a file that cannot be read: ' . rawurlencode($name));
                continue;
            }
            // A file that changed while it was hashed is not remembered; the next request hashes it again.
            clearstatcache(true, $file);
            $after = @stat($file);
            if ($after === false || $after['size'] !== $size || $after['mtime'] !== $mtime
                || $after['ino'] !== $inode) {
                $digests[$name] = $digest;
                continue;
            }
        }
        $digests[$name] = $digest;
        $fresh[$name] = [$size, $mtime, $inode, $digest];
    }
    if ($path !== '' && $fresh !== $cache) {
        WriteDigestCache($path, $fresh);
    }
    if ($lock !== false) {
        flock($lock, LOCK_UN);
        fclose($lock);
    }
    return $digests;
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
    $signed = $folder . '/' . QUORVEL_SIGNED_LIST;
    if (@lstat($signed) !== false) {
        SendSignedList($signed);
        return;
    }
    $error = null;
    $listed = ListFolder($folder, $self, $error);
    if ($listed === null) {
        SendError(500, $error);
        return;
    }
    // Newest first; equal times by name, so the order does not depend on the directory's.
    usort($listed, static fn(array $a, array $b): int => ($b[2] <=> $a[2]) ?: strcmp($a[0], $b[0]));

    $digests = Digests($folder, $listed);
    if ($digests === null) {
        SendRetryLater('The download list is being prepared; try again in a few seconds.');
        return;
    }
    $prefix = BaseUrl() . FolderUrlPath();
    $files = [];
    $newest = null;
    foreach ($listed as [$name, $size, $mtime]) {
        if (!isset($digests[$name])) {
            continue;
        }
        $files[] = [
            'name' => $name,
            'url' => $prefix . rawurlencode($name),
            'size' => $size,
            'modified_at' => gmdate('Y-m-d\TH:i:s\Z', $mtime),
            'ext' => Extension($name),
            'sha256' => $digests[$name],
        ];
        $newest = max($newest ?? $mtime, $mtime);
    }
    $lastModified = $newest === null ? '' : gmdate('D, d M Y H:i:s', $newest) . ' GMT';
    SendJson(200, ['schema' => QUORVEL_SCHEMA, 'files' => $files], $lastModified);
}

try {
    Main();
} catch (Throwable $failure) {
    error_log('filelist.json.php: ' . $failure->getMessage());
    if (!headers_sent()) {
        SendError(500, 'The download list could not be produced.');
    }
}
