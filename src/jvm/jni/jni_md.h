// The machine-dependent half of the Java Native Interface header, for Windows: the runtime's jni.h
// includes this file. Entry points use the stdcall convention; jint is 32 bits on every Windows.
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
